// The security switch, its file in the data folder, the rights letter and the rules that depend
// on them.
//
// The switch turns on the rights-dependent restrictions of the administrator program; the web
// program always runs with it on. It lives in "tikora.sec", one 54-byte record:
//
//   offset 0, 1 byte    length of the version text (4)
//   offset 1, 4 bytes   version text "2.00" (ASCII)
//   offset 5, 1 byte    the switch: 0 off, 1 on
//   offset 6, 48 bytes  zero
//
// Files of earlier versions start with a length-prefixed version text as well and are only read
// as far as their first 38 bytes.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/prompter.h"

namespace tikora {

inline constexpr const char* kSecurityFileName = "tikora.sec";
inline constexpr std::size_t kSecurityRecordSize = 54;
// Older files are read only this far when their version is examined.
inline constexpr std::size_t kSecurityVersionReadSize = 38;
inline constexpr std::size_t kSecuritySwitchOffset = 5;
inline constexpr std::string_view kSecurityFileVersion = "2.00";

// The message shown (translated) when a security file of an unknown version is replaced.
inline constexpr const char* kSecurityResetMessage =
    "The storage of password information has changed in the new version of Tikora.  Because of "
    "this your passwords have been reset to the default values.  We apologize for any "
    "inconvenience.";

// Translates one fixed message text (TranslateMessage unless a caller passes another).
using Translator = std::function<std::string(const std::string&)>;

// The security object of a running program. Only the switch is kept.
class TSecure {
 public:
  bool SecuritySwitch() const { return security_switch_; }
  void SetSecuritySwitch(bool on) { security_switch_ = on; }

 private:
  bool security_switch_ = false;
};

// A file of fixed-size records, of which only the first is ever used.
//
// Opening reads the first record into Buffer(); a file shorter than a record is read as far as it
// goes and the missing bytes are zero. WholeRecordRead() tells whether a full record was there.
// ReadWrite creates a missing file (empty); ReadOnly never creates anything and reads a missing
// file as all zeros. Throws std::runtime_error when the file cannot be opened or written.
class RecordFile {
 public:
  enum class Mode { ReadOnly, ReadWrite };

  RecordFile(std::filesystem::path path, std::size_t record_size, Mode mode);

  std::vector<unsigned char>& Buffer() { return buffer_; }
  const std::vector<unsigned char>& Buffer() const { return buffer_; }
  bool WholeRecordRead() const { return whole_record_read_; }

  // Writes the buffer over the record that was read (the first one, at offset 0).
  void WriteRecord();

 private:
  std::filesystem::path path_;
  Mode mode_;
  std::vector<unsigned char> buffer_;
  bool whole_record_read_ = false;
};

std::filesystem::path SecurityFilePath(const std::filesystem::path& data_path);

// The version text of a record buffer: the bytes after the length byte, as many as it says and
// the buffer holds.
std::string SecurityFileVersion(const std::vector<unsigned char>& record);

// At start of the administrator program. A missing file is created (version "2.00", switch off).
// An existing file of a version other than "1.00" or "2.00" is replaced after the translated
// reset message has been shown once; a file whose version compares lower than "2.00" (byte-wise)
// is replaced silently, which turns the switch off. An empty `translate` means TranslateMessage.
void CheckSecurityFile(const std::filesystem::path& data_path, Prompter& prompter,
                       const Translator& translate = {});

// Sets the switch of `secure` from the file (off when the file is missing or short).
void LoadSecuritySwitch(TSecure& secure, const std::filesystem::path& data_path);

// Stores the switch of `secure` in the file, keeping the rest of the record. A missing or short
// file is written as a complete current record, so that the next start does not take it for a
// file of an unknown version.
void SaveSecuritySwitch(const TSecure& secure, const std::filesystem::path& data_path);

// ---- Rights -------------------------------------------------------------------------------------

// The rights letter of the current user: "A" administrator, "S" superuser, "U" ordinary user,
// empty while nobody has logged in (always so in the administrator program).
inline constexpr std::string_view kRightsAdministrator = "A";
inline constexpr std::string_view kRightsSuperuser = "S";
inline constexpr std::string_view kRightsUser = "U";

// The rights of a log-in row: "A" for the ID "Administrator", "S" for "Superuser" (both exact,
// case matters), "U" for any other.
std::string RightsForLogin(std::string_view login_id);

bool IsAdministrator(std::string_view rights);

// ---- Rules that depend on the switch and the rights --------------------------------------------

enum class Rule {
  SynchronisedRecordsLocked,  // time records marked Synch cannot be edited
  PrintedRecordsLocked,       // time records marked Printed cannot be edited
  SynchroniseAtStart,         // the administrator program synchronises when it starts
  ReportsOnlyOwnRecords,      // reports cover only the current user; the user pick list is off
  ReportsListAllUsers,        // reports offer every user found in the time records
  HideCustomReports,          // the custom-report menu is hidden
  TimeHistoryReadOnly,        // the data manager opens the time history read-only
  WebShowsOnlyOwnRecords,     // web pages show and total only the current user's records
};

// The options that some rules depend on (settings of the same names).
struct RuleOptions {
  bool allow_synch_edits = false;    // AllowSynchEdits
  bool allow_printed_edits = false;  // AllowPrintedEdits
  bool synchronize = false;          // Synchronize = 1
  bool data_read_only = false;       // DataReadOnly
};

// Whether `rule` is in force for a program whose switch is `security_switch` and whose current
// user has the rights letter `rights`. The web program passes true for the switch.
bool RuleApplies(Rule rule, bool security_switch, std::string_view rights,
                 const RuleOptions& options = {});

}  // namespace tikora
