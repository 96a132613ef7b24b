/*
 * The pieces of an image file's text that reading and writing share: how
 * a link value of each type is spelt, and the names of fault effects.
 * Internal to the device; failures throw std::runtime_error, caught where
 * an image is read.
 */
#ifndef MORVANE_DEVICE_IMAGE_CODEC_H
#define MORVANE_DEVICE_IMAGE_CODEC_H

#include "device/ole_date.h"
#include "device/simulator.h"

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tethra_sim {

// A database's id and field list, against which its records' values are
// read.
struct DatabaseHead {
    uint32_t id = 0;
    std::vector<LinkField> fields;
    std::unordered_map<std::string, size_t> index;  // field name -> position
};

// The head of a database object given as JSON text: its "id", and its
// "fields" or, when it lists none, the built-in ones.
DatabaseHead ReadHeadText(const std::string& json);

// Where a database's "records" array stands in an image's text, from its
// opening bracket up to and with its closing one; or one record's object.
struct RecordsSpan {
    size_t begin = 0;
    size_t end = 0;
};

// An image in the plain form this simulator writes, split as its general
// reader needs it: the image object's text without its "databases", and
// per database the object's text without its "records" beside the records
// themselves, already decoded or, when their values are deferred, with
// their ids alone and where each record's object stands in the text.
struct ScannedDatabase {
    std::string text;
    DatabaseHead head;
    std::vector<Record> records;
    std::vector<RecordsSpan> recordSpans;
    RecordsSpan span;
};
struct ScannedImage {
    std::string text;
    std::vector<ScannedDatabase> databases;
};

// Reads an image in that plain form, without a document tree of its
// records.  False for anything else (escapes beyond single-byte text,
// characters beyond ASCII outside device text, fractions outside a date's
// {"ole": d}, a database's records before its id, a key given twice where
// it matters, any value its link type cannot hold): the general reader
// then reads the text and names what is wrong with it.
// With deferValues every value is still checked, but kept nowhere.
bool ScanPlainImage(std::string_view text, ScannedImage* out, bool deferValues = false);
// Decodes the values of a record whose object stands at span in the text
// of an image ScanPlainImage accepted.
bool ScanRecordValues(std::string_view text, RecordsSpan span, const DatabaseHead& head, Record* out);

// A database's records read with their values left in the image's text:
// a session that reads a few records of a large image decodes only those.
struct DeferredRecords {
    DatabaseHead head;
    std::vector<RecordsSpan> records;  // per record, in order; empty once decoded
};

// How an image's text is read: the plain form first when it is one, or
// only one of the two ways, to check them against each other.
enum class ImageReading { kAny, kPlainOnly, kGeneralOnly };
// spans, when given, gets where each database's records stand in text
// when it was read in the plain form, and is left empty otherwise.
// deferred, when given, gets per database (in the image's order) its
// records' objects, whose values are then not decoded: only records'
// ids are read into the image.  Left empty when the text was not plain,
// and every value is then decoded.
bool ReadImageText(std::string_view text, ImageReading how, DeviceImage* out, std::string* error,
                   std::vector<RecordsSpan>* spans = nullptr, std::vector<DeferredRecords>* deferred = nullptr);

// A file's whole text, mapped read-only: a session reads its image, tens
// of megabytes, at every start, and a mapping spares copying it into
// memory of the process.  Whoever holds one must not write over the file.
class FileText {
public:
    FileText() = default;
    ~FileText() { Release(); }
    FileText(FileText&& other) noexcept { *this = std::move(other); }
    FileText& operator=(FileText&& other) noexcept;
    FileText(const FileText&) = delete;
    FileText& operator=(const FileText&) = delete;

    std::string_view View() const { return std::string_view(bytes_, size_); }
    // Gives the file's pages back; the text is empty from here on.
    void Release();

private:
    friend bool ReadFileText(const std::string& path, FileText* out);
    const char* bytes_ = nullptr;
    size_t size_ = 0;
};
bool ReadFileText(const std::string& path, FileText* out);

// An image's text as it goes to a file: text, and the records arrays of
// an earlier text of the same records, which go in at their offsets in
// text instead of being written again or copied into it.
struct ImagePieces {
    std::string text;
    std::vector<std::pair<size_t, std::string_view>> kept;  // by offset
};
// A database whose entry in kept is not empty gets that text as its
// records array.
ImagePieces WriteImagePieces(const DeviceImage& image, const std::vector<std::string_view>& kept);
// What a database's records array is written from (its fields and its
// records), as a number that changes when any of it does.
uint64_t RecordsFingerprint(const Database& db);
// Saves the pieces as DeviceImage::Save saves an image's text: written
// over path.previous (the image before the last save), which then takes
// the place of path, whose image is kept as path.previous.
bool SaveImagePieces(const std::string& path, const ImagePieces& pieces, std::string* error);
// The two steps of that save, for a caller that holds the image at path
// mapped: it releases the mapping between them.
bool WritePreviousImage(const std::string& path, const ImagePieces& pieces, std::string* error);
bool ReplaceWithPrevious(const std::string& path, std::string* error);
// Where each of the pieces' kept texts stands in the file they make.
std::vector<size_t> KeptOffsets(const ImagePieces& pieces);

std::string Hex(const uint8_t* bytes, size_t n);
// The value of a hex digit, -1 for any other character.
int HexDigit(char c);
std::vector<uint8_t> Unhex(const std::string& text);
void UnhexInto(const std::string& text, uint8_t* out, size_t n);

// Device text is single-byte; each byte is shown as the character of the
// same number; text beyond U+00FF is refused.
std::vector<uint8_t> Utf8ToBytes(const std::string& text);

// Dates, times and date-times as "2026-12-06", "19:30:00" and
// "2026-12-06T19:30:00"; ParseDate is false for any other text.
bool ParseDate(uint32_t type, const std::string& text, double* out);
// The readable form of an 8-byte date value, when reading it back gives
// the same bytes; false when only {"ole": d} keeps them exactly.
bool ReadableDate(uint32_t type, double value, std::string* text);

bool IsDateType(uint32_t type);
// 1, 2 or 4 for the integer link types, 0 for the others.
size_t IntegerWidth(uint32_t type);

// Names of the fault effects in an image file, in FaultEffect order.
extern const char* const kEffectNames[5];

}  // namespace tethra_sim

#endif
