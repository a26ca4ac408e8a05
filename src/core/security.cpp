#include "core/security.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "core/language.h"

namespace tikora {
namespace {

std::runtime_error FileError(const char* what, const std::filesystem::path& path) {
  return std::runtime_error(std::string(what) + " " + path.string());
}

std::vector<unsigned char> CurrentSecurityRecord(bool security_switch) {
  std::vector<unsigned char> record(kSecurityRecordSize, 0);
  record[0] = static_cast<unsigned char>(kSecurityFileVersion.size());
  std::copy(kSecurityFileVersion.begin(), kSecurityFileVersion.end(), record.begin() + 1);
  record[kSecuritySwitchOffset] = security_switch ? 1 : 0;
  return record;
}

// Replaces whatever is at `path` with a current record, switch off.
void CreateFreshSecurityFile(const std::filesystem::path& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const auto record = CurrentSecurityRecord(false);
  out.write(reinterpret_cast<const char*>(record.data()), static_cast<std::streamsize>(record.size()));
  out.close();
  if (!out) throw FileError("Cannot write", path);
}

}  // namespace

RecordFile::RecordFile(std::filesystem::path path, std::size_t record_size, Mode mode)
    : path_(std::move(path)), mode_(mode), buffer_(record_size, 0) {
  std::error_code ec;
  const bool exists = std::filesystem::exists(path_, ec);
  if (!exists) {
    if (mode_ == Mode::ReadOnly) return;  // reads as all zeros
    std::ofstream create(path_, std::ios::binary);
    if (!create) throw FileError("Cannot create", path_);
  }
  std::ifstream in(path_, std::ios::binary);
  if (!in) throw FileError("Cannot open", path_);
  in.read(reinterpret_cast<char*>(buffer_.data()), static_cast<std::streamsize>(record_size));
  whole_record_read_ = static_cast<std::size_t>(in.gcount()) == record_size;
}

void RecordFile::WriteRecord() {
  if (mode_ != Mode::ReadWrite) throw FileError("Opened read-only:", path_);
  std::fstream out(path_, std::ios::binary | std::ios::in | std::ios::out);
  if (!out) throw FileError("Cannot open", path_);
  out.seekp(0);
  out.write(reinterpret_cast<const char*>(buffer_.data()), static_cast<std::streamsize>(buffer_.size()));
  out.close();
  if (!out) throw FileError("Cannot write", path_);
}

std::filesystem::path SecurityFilePath(const std::filesystem::path& data_path) {
  return data_path / kSecurityFileName;
}

std::string SecurityFileVersion(const std::vector<unsigned char>& record) {
  if (record.empty()) return {};
  const std::size_t length = std::min<std::size_t>(record[0], record.size() - 1);
  return std::string(record.begin() + 1, record.begin() + 1 + static_cast<std::ptrdiff_t>(length));
}

void CheckSecurityFile(const std::filesystem::path& data_path, Prompter& prompter,
                       const Translator& translate) {
  const auto path = SecurityFilePath(data_path);
  if (!std::filesystem::exists(path)) {
    CreateFreshSecurityFile(path);
    return;
  }
  const std::string version =
      SecurityFileVersion(RecordFile(path, kSecurityVersionReadSize, RecordFile::Mode::ReadOnly).Buffer());
  if (version != "1.00" && version != "2.00") {
    const std::string message =
        translate ? translate(kSecurityResetMessage) : TranslateMessage(kSecurityResetMessage);
    prompter.Show(message, "Tikora", MessageKind::Information);
    CreateFreshSecurityFile(path);
    return;  // the file is current now; the version check below has nothing left to replace
  }
  if (version < kSecurityFileVersion) CreateFreshSecurityFile(path);
}

void LoadSecuritySwitch(TSecure& secure, const std::filesystem::path& data_path) {
  const RecordFile file(SecurityFilePath(data_path), kSecurityRecordSize, RecordFile::Mode::ReadOnly);
  secure.SetSecuritySwitch(file.Buffer()[kSecuritySwitchOffset] != 0);
}

void SaveSecuritySwitch(const TSecure& secure, const std::filesystem::path& data_path) {
  RecordFile file(SecurityFilePath(data_path), kSecurityRecordSize, RecordFile::Mode::ReadWrite);
  if (!file.WholeRecordRead()) file.Buffer() = CurrentSecurityRecord(false);
  file.Buffer()[kSecuritySwitchOffset] = secure.SecuritySwitch() ? 1 : 0;
  file.WriteRecord();
}

std::string RightsForLogin(std::string_view login_id) {
  if (login_id == "Administrator") return std::string(kRightsAdministrator);
  if (login_id == "Superuser") return std::string(kRightsSuperuser);
  return std::string(kRightsUser);
}

bool IsAdministrator(std::string_view rights) { return rights == kRightsAdministrator; }

bool RuleApplies(Rule rule, bool security_switch, std::string_view rights,
                 const RuleOptions& options) {
  const bool admin = IsAdministrator(rights);
  switch (rule) {
    case Rule::SynchronisedRecordsLocked: return security_switch && !options.allow_synch_edits;
    case Rule::PrintedRecordsLocked: return security_switch && !options.allow_printed_edits;
    case Rule::SynchroniseAtStart: return security_switch && options.synchronize;
    case Rule::ReportsOnlyOwnRecords: return security_switch && !admin;
    case Rule::ReportsListAllUsers: return security_switch && admin;
    case Rule::HideCustomReports: return security_switch && rights == kRightsUser;
    case Rule::TimeHistoryReadOnly: return security_switch && !admin && options.data_read_only;
    case Rule::WebShowsOnlyOwnRecords: return !admin;
  }
  return false;
}

}  // namespace tikora
