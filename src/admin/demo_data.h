// Demonstration data for a new installation: a few charge accounts, job codes, clients, items,
// work groups, the report catalogue, some time records and three log-ins.
#pragma once

#include <string>
#include <vector>

#include "engine/database.h"

namespace tikora::admin {

struct DemoLogin {
  std::string login_id;
  std::string password;  // generated; only its hash is stored
};

// Fills the tables of `db` that are still empty with the demonstration rows (a table that already
// holds rows is left alone, so nothing is ever overwritten). Returns the log-ins created with
// their generated passwords, which exist nowhere else: the caller shows them once.
std::vector<DemoLogin> FillDemoData(engine::Database& db);

}  // namespace tikora::admin
