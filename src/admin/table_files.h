// Whole table files: consistent copies of live tables, checks of files that come from elsewhere,
// replacing live tables, and the ZIP archives of backups.
//
// Live table files are only ever read through SQLite (the online backup API), never through a
// second plain file descriptor, which would drop SQLite's own locks in this process when closed.
// Files are replaced only while this process holds the exclusive open of every table it
// replaces, so that no other program has them open; then renaming into place is safe.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace tikora::admin {

// A failure of one of the operations below; the message is meant for the user.
class TableFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// True when `name` ends in ".DAT" in any letter case.
bool IsTableFileName(const std::string& name);

// The name of the regular file in `dir` whose name equals `name` ignoring letter case (the
// exact name first), or an empty text when there is none.
std::string FindFileIgnoringCase(const std::string& dir, const std::string& name);

// Names of the regular files in `dir` that a backup takes: every "*.DAT" and "*.IDX" (any case)
// and "Tikora.ini", sorted. Hidden files (the engine's own lock and main files) are never taken.
std::vector<std::string> BackupFileNames(const std::string& dir);

// Copies the files `names` of `source_dir` into the existing folder `dest_dir`. Table files are
// copied through SQLite's online backup API, all of them from one moment: every copy is taken
// inside a read transaction that began while no writer of the data folder was in the middle of
// a transaction, so the copies are consistent with each other while other programs keep writing.
// Other files are copied as they are. Names that do not exist in `source_dir` are skipped.
// Returns the names copied. Throws TableFileError.
std::vector<std::string> SnapshotFiles(const std::string& source_dir,
                                       const std::vector<std::string>& names,
                                       const std::string& dest_dir);

// Checks a table file that came from elsewhere before it may replace a live one: a sound SQLite
// file (quick_check), marked as a table file, with a readable definition of the table its file
// name says, and nothing in it but tables and indexes (no triggers or views that would run in the
// programs). Returns an empty text when the file is fine, else the reason.
std::string CheckTableFile(const std::string& path);

// One file to put in place: `source` (a file on the same file system) becomes `target_name` in
// the data folder. A table that exists under another letter case is replaced under its own name.
struct Replacement {
  std::string target_name;
  std::string source;
};

// Puts every replacement in place, all or nothing, while holding the exclusive open of every
// existing table among the targets. When a table is open elsewhere, or a rename fails, nothing is
// replaced and TableFileError says why. Sources are moved (they are gone afterwards on success).
void ReplaceFiles(const std::string& data_dir, const std::vector<Replacement>& replacements);

// One entry of an archive: `name` in the archive, read from `path`.
struct ArchiveEntry {
  std::string name;
  std::string path;
};

// Writes a ZIP archive at `archive_path` holding the entries (deflated). The archive is written
// under a temporary name in the same folder and renamed over `archive_path` when complete, so a
// failure never leaves a partial archive. Throws TableFileError.
void WriteZipArchive(const std::string& archive_path, const std::vector<ArchiveEntry>& entries);

// Extracts every file entry of the archive into the existing folder `dest_dir` by its file name
// alone (any folder part, "/" or "\", is dropped). Entries whose name is empty, hidden (starts
// with ".") or a folder are skipped; of two entries with one name the later wins. Returns the
// names written. Throws TableFileError when the archive cannot be read.
std::vector<std::string> ExtractZipArchive(const std::string& archive_path,
                                           const std::string& dest_dir);

// A temporary folder inside `parent`, removed with everything in it on destruction.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& parent, const std::string& prefix = ".tikora-");
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace tikora::admin
