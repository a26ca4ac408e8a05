// A temporary data folder with the thirteen tables, removed after the test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/database.h"
#include "engine/maintenance.h"
#include "engine/table.h"

namespace tikora::engine::test {

class DataFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tikora-engine-XXXXXX";
    dir_ = mkdtemp(tmpl);
    CreateDataTables(dir_, Layout::Current);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Appends one time record and returns its ID.
  static std::int64_t AddTime(Table& t, const std::string& user, const std::string& account,
                              const std::string& start, const std::string& end = "") {
    t.Append();
    t.SetFieldValue("User ID", Value::Text(user));
    t.SetFieldValue("Account", Value::Text(account));
    t.SetFieldValue("Start Time", Value::Text(start));
    if (!end.empty()) t.SetFieldValue("End Time", Value::Text(end));
    t.Post();
    return t.FieldValue("ID").AsInteger();
  }

  std::string dir_;
};

}  // namespace tikora::engine::test
