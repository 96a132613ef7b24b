// A plan's actions as lines for the person running a sync: what each side
// would get (dry run) or what the verbose output names.
#ifndef MORVANE_ENGINE_PLAN_TEXT_H
#define MORVANE_ENGINE_PLAN_TEXT_H

#include <string>

#include "engine/gathered.h"
#include "engine/sync_plan.h"

namespace morvane_engine {

std::string DescribeAction(Gathered& g, const Action& action, const std::string& charset);

}  // namespace morvane_engine

#endif
