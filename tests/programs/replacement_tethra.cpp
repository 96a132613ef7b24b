// Another build of the device link library's contract: a device link whose
// port never opens.  The adapter, built once against libtethra.so, must run
// on top of it unchanged, as it would on top of any maker's build.
#include "link/tethra.h"

namespace {
// What this library reports for every failure; no simulator uses it.
constexpr uint32_t kReplacementError = 0x1234ABCDu;
}  // namespace

struct CTethraApp::Device {};

CTethraApp::CTethraApp() : device_(nullptr) {}
CTethraApp::~CTethraApp() { delete device_; }  // none: the port never opens
int CTethraApp::S_DVXOpenPort(const char*, int) { return 0; }
int CTethraApp::S_DVXWaitConnection(uint32_t, _tagDVXCONNECTINFO*) { return 0; }
int CTethraApp::S_DVXCloseConnection() { return 0; }
int CTethraApp::S_DVXClosePort() { return 0; }
int CTethraApp::S_DVXRevokeSyncContract() { return 0; }
int CTethraApp::S_DVXGetConfig(_tagDVXCONF*) { return 0; }
int CTethraApp::S_DVXSetConfig(const _tagDVXCONF*) { return 0; }
int CTethraApp::S_DVXGetSystemInfo(_tagDVXSYSINFO*) { return 0; }
int CTethraApp::S_DVXOpenDataBase(const char*) { return 0; }
int CTethraApp::S_DVXCloseDataBase(int) { return 0; }
int CTethraApp::S_DVXGetDBIDList(_tagS_DVXDBIDIF**, uint32_t*, HANDLE) { return 0; }
int CTethraApp::S_DVXGetSyncContractInfo(const uint32_t*, uint32_t, uint8_t*, uint32_t, uint8_t*, uint32_t, uint8_t*,
                                         uint32_t, uint8_t*) { return 0; }
int CTethraApp::S_DVXSetSyncTargetMacID(const uint8_t*, const uint8_t*) { return 0; }
int CTethraApp::S_DVXGetSyncTime(char*, uint32_t) { return 0; }
int CTethraApp::S_DVXSetSyncTime(const char*) { return 0; }
int CTethraApp::S_DVXSetDBSyncMode(int, const uint32_t*, uint32_t) { return 0; }
int CTethraApp::S_DVXCleanUpAllSyncState(uint32_t) { return 0; }
int CTethraApp::S_DVXGetDBInfo(uint32_t, HANDLE, _tagS_DVXDBINFO*) { return 0; }
int CTethraApp::S_DVXGetAllSyncRecordList(uint32_t, HANDLE, uint32_t**, uint32_t*, uint32_t**, uint32_t*, uint32_t**,
                                          uint32_t*) { return 0; }
int CTethraApp::S_DVXGetRecordData(uint32_t, _tagDVXDBREC**, uint32_t, HANDLE, uint32_t*) { return 0; }
int CTethraApp::S_DVXPutRecordData(uint32_t, _tagDVXDBREC**, uint32_t, uint32_t*) { return 0; }
int CTethraApp::S_DVXDeleteRecordData(uint32_t, uint32_t) { return 0; }
int CTethraApp::S_DVXIsEnablePutFirstSyncRecordData(uint32_t) { return 0; }
int CTethraApp::S_DVXPutFirstSyncRecordData(uint32_t, _tagDVXDBREC**, uint32_t) { return 0; }
int CTethraApp::S_DVXGetFirstSyncRecordData(uint32_t, _tagDVXDBREC**, uint32_t*, HANDLE) { return 0; }
uint32_t CTethraApp::S_DVXGetLastError() { return kReplacementError; }
