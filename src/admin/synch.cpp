// Synchronisation with the network copy of the data folder.
#include <filesystem>
#include <system_error>

#include "admin/data_module.h"
#include "admin/table_files.h"
#include "core/system_helpers.h"
#include "engine/errors.h"

namespace tikora::admin {
namespace fs = std::filesystem;
using engine::Table;
using engine::Value;

namespace {

// The records still to send: finished and not yet marked as sent.
constexpr const char* kUnsentCondition =
    "((Synch = FALSE) OR (Synch = NULL)) AND ([End Time] <> NULL)";

// The master tables the network side hands down, in the order they are taken.
const char* const kMasterFiles[] = {"Accounts.DAT", "JobCodes.DAT", "Clients.DAT", "WorkGrp.Dat"};

// What travels with a time record: the network table numbers its rows itself and leaves every
// other field empty.
const char* const kTravellingFields[] = {"User ID", "Account", "Job_Code", "Comments", "ClientID",
                                         "Start Time", "End Time"};

}  // namespace

TDM::SyncOutcome TDM::SynchData() {
  SyncOutcome outcome;
  auto fail = [&](const std::string& message) {
    if (outcome.error.empty()) outcome.error = message;
    prompter_.Show(message, "Error", MessageKind::Error);
  };
  std::string net_dir = WithTrailingDelimiter(config_.NetSynchDataPath);
  if (net_dir.empty()) net_dir = config_.DefaultNetSynchDataPath();

  std::error_code ec;
  std::unique_ptr<engine::Database> sync_db;
  try {
    if (!fs::is_directory(net_dir, ec))
      throw engine::EngineError(engine::kErrFileNotFound, "Cannot open the folder " + net_dir);
    if (fs::equivalent(net_dir, directory_, ec))
      throw engine::EngineError(engine::kErrAccessDenied,
                                "The synchronized data location " + net_dir + " is the data folder itself");
    sync_db = std::make_unique<engine::Database>(net_dir);
    sync_db->ResolveTable("TimeHist");
  } catch (const std::exception& e) {
    outcome.sent_ok = false;
    outcome.masters_ok = false;
    fail(e.what());
    return outcome;  // nothing sent or copied; the tables stay open as they were
  }

  outcome.sent_ok = SendRecords(*sync_db, outcome);
  sync_db.reset();
  Disconnect();
  ReplaceMasters(net_dir, outcome);
  SetDBActive();
  return outcome;
}

bool TDM::SendRecords(engine::Database& sync_db, SyncOutcome& outcome) {
  Table& hist = *tblHist_;
  const std::string old_filter = hist.Filter();
  const bool old_filtered = hist.Filtered();
  hist.Close();
  const std::string filter = (old_filtered && !old_filter.empty())
                                 ? old_filter + " AND " + kUnsentCondition
                                 : std::string(kUnsentCondition);
  Table net(sync_db, "TimeHist");
  bool local_open = false, net_open = false;
  bool ok = true;
  try {
    db_->StartTransaction({"TimeHist"});
    local_open = true;
    sync_db.StartTransaction({"TimeHist"});
    net_open = true;
    hist.SetFilter(filter);
    hist.SetFiltered(true);
    hist.Open();
    net.Open();
    synchronising_ = true;
    hist.First();
    // Each posted record leaves the filtered view, so the first record is always the next one;
    // the count bounds the loop should a record fail to leave it.
    for (std::int64_t left = hist.RecordCount(); !hist.Eof() && left > 0; --left) {
      net.Append();
      for (const char* field : kTravellingFields) net.SetFieldValue(field, hist.FieldValue(field));
      net.Post();
      hist.Edit();
      hist.SetFieldValue("Synch", Value::Boolean(true));
      hist.Post();
      ++outcome.records_sent;
      hist.First();
    }
    synchronising_ = false;
    // The network side commits first: should the local commit then fail, the records are sent
    // again next time rather than marked as sent without being there.
    sync_db.Commit();
    net_open = false;
    db_->Commit();
    local_open = false;
  } catch (const std::exception& e) {
    synchronising_ = false;
    if (net_open) sync_db.Rollback();
    if (local_open) db_->Rollback();
    outcome.records_sent = 0;
    ok = false;
    if (outcome.error.empty()) outcome.error = e.what();
    prompter_.Show(e.what(), "Error", MessageKind::Error);
  }
  net.Close();
  hist.Close();
  hist.SetFilter(old_filter);
  hist.SetFiltered(old_filtered);
  return ok;
}

void TDM::ReplaceMasters(const std::string& net_dir, SyncOutcome& outcome) {
  try {
    ScratchFolder scratch(directory_, ".synch-");
    std::vector<std::string> names;       // as spelt on the network
    std::vector<std::string> local_names; // as the installation spells them
    for (const char* file : kMasterFiles) {
      std::string found = FindFileIgnoringCase(net_dir, file);
      if (found.empty()) continue;  // not on the network: the local table stays
      names.push_back(found);
      local_names.push_back(file);
    }
    SnapshotFiles(net_dir, names, scratch.path());
    std::vector<Replacement> replacements;
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::string path = (fs::path(scratch.path()) / names[i]).string();
      std::string problem = CheckTableFile(path);
      if (!problem.empty()) throw TableFileError(problem);
      replacements.push_back({local_names[i], path});
    }
    ReplaceFiles(directory_, replacements);
    outcome.masters_replaced = local_names;
  } catch (const std::exception& e) {
    outcome.masters_ok = false;
    outcome.masters_replaced.clear();
    if (outcome.error.empty()) outcome.error = e.what();
    prompter_.Show(e.what(), "Error", MessageKind::Error);
  }
}

}  // namespace tikora::admin
