// File, folder, user and shell helpers shared by both programs.
//
// Paths are plain text with "/" as the delimiter. Helpers that can fail in a way the user must
// hear about report it themselves through a Prompter (the caller's, or DefaultPrompter()), so
// that callers need not; their return value tells the caller whether to carry on.
#pragma once

#include <string>
#include <string_view>

#include "core/prompter.h"

namespace tikora {

// ---- Program folder -----------------------------------------------------------------------------

// The folder of the running program, absolute, ending in "/". Starts as the folder of the
// executable (/proc/self/exe); SetProgramFolder replaces it (the programs' --program-folder
// option, tests). Relative paths of both programs are resolved against it.
std::string ProgramFolder();
// `folder` is made absolute and given a trailing "/"; an empty text restores the executable's
// folder.
void SetProgramFolder(const std::string& folder);

// ---- Files ----------------------------------------------------------------------------------

// Appends `line` and a line end to the file at `path`, creating the file when it does not exist.
// The line is handed to the operating system before returning. On failure shows
// "Could not access " + path (caption "Access Error") and returns false.
bool AppendLine(const std::string& path, std::string_view line,
                Prompter& prompter = DefaultPrompter());

// Replaces the file at `path` with `content` so that a crash leaves either the old or the new
// file, never a mix: the content goes to a temporary file in the same folder, is synced to disk
// and renamed over the target. An existing file keeps its permission bits; a symbolic link is
// followed, so the file it points at is replaced. Returns false (and leaves the old file) on any
// failure, e.g. a missing folder.
bool WriteFileAtomically(const std::string& path, std::string_view content);

// The folder for temporary files ($TMPDIR, else /tmp), ending in "/".
std::string TempPath();

// "dir/archive.tar.gz" -> "archive.tar"; "dir/README" -> "README". A name starting with a dot and
// holding no other dot (".profile") has no extension.
std::string FileBaseName(std::string_view path);
// "dir/archive.tar.gz" -> "dir/archive.tar"; a path without an extension comes back unchanged.
std::string StripExtension(std::string_view path);
// Blanks and control characters removed at both ends, then "/" appended unless the path already
// ends in one. An empty (or all-blank) path stays empty rather than becoming the root folder.
std::string WithTrailingDelimiter(std::string_view path);

// ---- User -------------------------------------------------------------------------------------

// The name of the user running the program (the effective user's account name, else $USER),
// trimmed of blanks and control characters. "Error" when it cannot be found, "Blank" when it is
// empty. Never empty.
std::string CurrentUserName();

// ---- Special folders ----------------------------------------------------------------------------

// Identifiers accepted by SpecialFolder.
inline constexpr int kDesktopFolder = 0;         // ~/Desktop
inline constexpr int kPersonalFolder = 5;        // the home folder
inline constexpr int kStartupFolder = 7;         // the XDG autostart folder
inline constexpr int kAppDataFolder = 26;        // $XDG_CONFIG_HOME, else ~/.config
inline constexpr int kLocalAppDataFolder = 28;   // $XDG_DATA_HOME, else ~/.local/share

// The folder for `folder_id`, ending in "/". The folder need not exist. When it cannot be worked
// out (no home folder, unknown identifier) shows "Couldn't get pointer to IMalloc interface."
// (caption "SHGetMalloc(pMalloc)", error) and returns empty text.
std::string SpecialFolder(int folder_id, Prompter& prompter = DefaultPrompter());

// ---- Shortcuts --------------------------------------------------------------------------------

// Writes the desktop entry `folder`/`name`.desktop that starts `target` with `arguments` (split
// at blanks, each word passed as one argument) in the target's folder. On failure (bad name,
// folder missing, write error) shows the reason (caption "Exception", OK and Cancel) and returns
// false.
bool CreateShortcut(const std::string& target, const std::string& name,
                    const std::string& arguments, const std::string& folder,
                    Prompter& prompter = DefaultPrompter());
// CreateShortcut in the user's autostart folder, which is created when missing, so the program
// starts with the desktop session.
bool AddStartupShortcut(const std::string& name, const std::string& target,
                        const std::string& arguments, Prompter& prompter = DefaultPrompter());
// Deletes `name`.desktop from the autostart folder. A missing entry is not an error; returns
// false only when an existing entry could not be deleted. Shows nothing.
bool RemoveStartupShortcut(const std::string& name);
// The autostart entry's full path for `name`, or empty text when there is no home folder.
std::string StartupShortcutPath(const std::string& name);

// ---- Opening addresses and files ----------------------------------------------------------------

// The program that opens addresses and files: "xdg-open" (looked up in PATH) unless
// $TIKORA_OPENER names another, or SetOpenerProgram was given one (tests). It is started
// directly, never through a shell, with the address or path as its only argument.
std::string OpenerProgram();
void SetOpenerProgram(const std::string& program);  // empty restores the default

// With `ask`, first asks "Connect to the Internet now?"; No returns false and starts nothing.
// Then opens `address` with the opener; when that fails shows "Could not start your Internet
// browser" (caption "Launch Error") and returns false.
bool OpenUrl(const std::string& address, bool ask, Prompter& prompter = DefaultPrompter());

// Opens `path` with the opener; when that fails shows "Could not launch " + path (caption
// "Launch Error") and returns false.
bool LaunchFile(const std::string& path, Prompter& prompter = DefaultPrompter());

}  // namespace tikora
