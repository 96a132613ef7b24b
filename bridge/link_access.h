// The handheld reached through its device link library directly, without
// the adapter: what a backup needs, since the adapter hands a host only the
// fields a host has.  Each call opens the link, does its work and closes
// it; the handheld keeps what was written when the link closes.  Only while
// no adapter session runs: the link is the adapter's while it does.
#ifndef MORVANE_BRIDGE_LINK_ACCESS_H
#define MORVANE_BRIDGE_LINK_ACCESS_H

#include <stdint.h>

#include <string>
#include <vector>

#include "records/link_image.h"

namespace morvane_host {

// Every database the handheld lists, with its field list and every record.
// The change lists are not touched.  False with the reason in *error.
bool ReadLinkDatabases(std::vector<LinkDatabase>* out, std::string* error);

// In database dbId, deletes the records deletes names, then adds records
// (their values in the order of the database's field list as the handheld
// gives it), writing the id each got into it.  As the PC's writes, they do
// not enter the handheld's change lists.  False with the reason in *error;
// what was written before a failure stays written.
bool WriteLinkRecords(uint32_t dbId, const std::vector<uint32_t>& deletes, std::vector<LinkRecord>* adds,
                      std::string* error);

}  // namespace morvane_host

#endif
