#include "core/system_helpers.h"

#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

extern char** environ;

namespace tikora {
namespace {

namespace fs = std::filesystem;

// Blanks and control characters: everything up to and including the space.
bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view TrimBlanksAndControls(std::string_view text) {
  while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
  return text;
}

bool HasControlCharacter(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < ' ' || c == '\x7f') return true;
  }
  return false;
}

std::string WithSlash(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

std::string ExecutableFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return WithSlash(fs::current_path(ec).string());
  return WithSlash(exe.parent_path().string());
}

std::string& ProgramFolderOverride() {
  static std::string folder;
  return folder;
}

std::string& OpenerOverride() {
  static std::string program;
  return program;
}

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

// The home folder: $HOME, else the account's home folder; nullopt when neither is known.
std::optional<std::string> HomeFolder() {
  std::string home = EnvironmentValue("HOME");
  if (home.empty()) {
    if (const passwd* account = ::getpwuid(::geteuid()); account && account->pw_dir) {
      home = account->pw_dir;
    }
  }
  if (home.empty()) return std::nullopt;
  return WithSlash(home);
}

// An XDG base folder: the variable when it holds an absolute path (relative ones are ignored, as
// the XDG rules require), else the home folder + `fallback`.
std::optional<std::string> XdgFolder(const char* variable, const char* fallback) {
  std::string value = EnvironmentValue(variable);
  if (!value.empty() && value.front() == '/') return WithSlash(value);
  std::optional<std::string> home = HomeFolder();
  if (!home) return std::nullopt;
  return *home + fallback;
}

std::optional<std::string> LookUpSpecialFolder(int folder_id) {
  switch (folder_id) {
    case kDesktopFolder: {
      std::optional<std::string> home = HomeFolder();
      if (!home) return std::nullopt;
      return *home + "Desktop/";
    }
    case kPersonalFolder: return HomeFolder();
    case kStartupFolder: {
      std::optional<std::string> config = XdgFolder("XDG_CONFIG_HOME", ".config/");
      if (!config) return std::nullopt;
      return *config + "autostart/";
    }
    case kAppDataFolder: return XdgFolder("XDG_CONFIG_HOME", ".config/");
    case kLocalAppDataFolder: return XdgFolder("XDG_DATA_HOME", ".local/share/");
    default: return std::nullopt;
  }
}

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Makes a completed rename durable. Failure only weakens durability, so it is not reported.
void SyncFolder(const fs::path& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// Opens a new, unused file beside `target`; returns its descriptor and fills `temp_path`.
int CreateTemporarySibling(const fs::path& target, std::string& temp_path) {
  static unsigned counter = 0;
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_path = (folder / ("." + target.filename().string() + ".tmp" + std::to_string(::getpid()) +
                           "-" + std::to_string(counter++)))
                    .string();
    // 0666 lets the umask decide, as for any newly created file.
    int fd = ::open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Runs `program` with one argument, without a shell, and waits for it. Its standard input and
// output are /dev/null so that nothing it prints lands in a web response. True when it ran and
// exited with status 0.
bool RunWithArgument(const std::string& program, const std::string& argument) {
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char> program_text(program.begin(), program.end());
  program_text.push_back('\0');
  std::vector<char> argument_text(argument.begin(), argument.end());
  argument_text.push_back('\0');
  char* argv[] = {program_text.data(), argument_text.data(), nullptr};
  pid_t child = 0;
  int spawn_error = posix_spawnp(&child, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawn_error != 0) return false;
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno == EINTR) continue;
    // ECHILD: the process ignores SIGCHLD, so the child was reaped already; it did start.
    return errno == ECHILD;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The text of a string value in a desktop entry: backslashes doubled (the only escape that a
// value free of control characters needs).
std::string DesktopString(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += '\\';
    out += c;
  }
  return out;
}

// One argument of an Exec line: quoted, with ", `, $ and \ escaped, and % doubled (the launcher
// would take %f and the like for field codes).
std::string DesktopExecArgument(std::string_view argument) {
  std::string out = "\"";
  for (char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    if (c == '%') out += '%';
    out += c;
  }
  out += '"';
  return out;
}

std::vector<std::string> SplitAtBlanks(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    if (c == ' ' || c == '\t') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

bool IsUsableShortcutName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         !HasControlCharacter(name);
}

std::string DesktopEntryText(const std::string& target, const std::string& name,
                             const std::string& arguments) {
  std::string exec = DesktopExecArgument(target);
  for (const std::string& word : SplitAtBlanks(arguments)) exec += " " + DesktopExecArgument(word);
  std::string text = "[Desktop Entry]\nType=Application\n";
  text += "Name=" + DesktopString(name) + "\n";
  text += "Exec=" + DesktopString(exec) + "\n";
  text += "Path=" + DesktopString(fs::path(target).parent_path().string()) + "\n";
  text += "Terminal=false\n";
  return text;
}

}  // namespace

// ---- Program folder -----------------------------------------------------------------------------

std::string ProgramFolder() {
  const std::string& folder = ProgramFolderOverride();
  return folder.empty() ? ExecutableFolder() : folder;
}

void SetProgramFolder(const std::string& folder) {
  if (folder.empty()) {
    ProgramFolderOverride().clear();
    return;
  }
  std::error_code ec;
  fs::path absolute = fs::absolute(folder, ec);
  ProgramFolderOverride() = WithSlash(ec ? folder : absolute.lexically_normal().string());
}

// ---- Files ----------------------------------------------------------------------------------

bool AppendLine(const std::string& path, std::string_view line, Prompter& prompter) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  bool ok = fd >= 0;
  if (ok) {
    std::string text(line);
    text += '\n';
    ok = WriteAll(fd, text);
    ok = (::close(fd) == 0) && ok;
  }
  if (!ok) prompter.Show("Could not access " + path, "Access Error", MessageKind::Error);
  return ok;
}

bool WriteFileAtomically(const std::string& path, std::string_view content) {
  std::error_code ec;
  fs::path target = path;
  if (fs::is_symlink(target, ec)) {
    target = fs::canonical(target, ec);
    if (ec) return false;
  }
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;

  std::string temp_path;
  int fd = CreateTemporarySibling(target, temp_path);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, content);
  if (ok && exists) ok = ::fchmod(fd, existing.st_mode & 07777) == 0;
  if (ok) ok = ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(temp_path.c_str(), target.c_str()) == 0;
  if (!ok) {
    const int failure = errno;  // for the caller's message
    ::unlink(temp_path.c_str());
    errno = failure;
    return false;
  }
  SyncFolder(target.has_parent_path() ? target.parent_path() : fs::path("."));
  return true;
}

std::string TempPath() {
  std::error_code ec;
  fs::path folder = fs::temp_directory_path(ec);
  return WithSlash(ec ? std::string("/tmp") : folder.string());
}

namespace {
// Position of the dot that starts the extension of the last name in `path`, or npos. A dot that
// opens the name (".profile") does not start an extension.
std::size_t ExtensionDot(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t name_start = slash == std::string_view::npos ? 0 : slash + 1;
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string_view::npos || dot < name_start || dot == name_start) {
    return std::string_view::npos;
  }
  return dot;
}
}  // namespace

std::string FileBaseName(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t name_start = slash == std::string_view::npos ? 0 : slash + 1;
  const std::size_t dot = ExtensionDot(path);
  const std::size_t name_end = dot == std::string_view::npos ? path.size() : dot;
  return std::string(path.substr(name_start, name_end - name_start));
}

std::string StripExtension(std::string_view path) {
  const std::size_t dot = ExtensionDot(path);
  return std::string(dot == std::string_view::npos ? path : path.substr(0, dot));
}

std::string WithTrailingDelimiter(std::string_view path) {
  return WithSlash(std::string(TrimBlanksAndControls(path)));
}

// ---- User -------------------------------------------------------------------------------------

std::string CurrentUserName() {
  std::string name;
  if (const passwd* account = ::getpwuid(::geteuid()); account && account->pw_name) {
    name = account->pw_name;
  } else if (const char* user = std::getenv("USER")) {
    name = user;
  } else {
    return "Error";
  }
  name = std::string(TrimBlanksAndControls(name));
  return name.empty() ? "Blank" : name;
}

// ---- Special folders ----------------------------------------------------------------------------

std::string SpecialFolder(int folder_id, Prompter& prompter) {
  std::optional<std::string> folder = LookUpSpecialFolder(folder_id);
  if (!folder) {
    prompter.Show("Couldn't get pointer to IMalloc interface.", "SHGetMalloc(pMalloc)",
                  MessageKind::Error);
    return {};
  }
  return *folder;
}

// ---- Shortcuts --------------------------------------------------------------------------------

bool CreateShortcut(const std::string& target, const std::string& name,
                    const std::string& arguments, const std::string& folder, Prompter& prompter) {
  std::string failure;
  const std::string file = WithSlash(folder) + name + ".desktop";
  if (!IsUsableShortcutName(name)) {
    failure = "Invalid shortcut name \"" + name + "\"";
  } else if (target.empty() || HasControlCharacter(target) || HasControlCharacter(arguments)) {
    failure = "Invalid shortcut target \"" + target + "\"";
  } else if (!WriteFileAtomically(file, DesktopEntryText(target, name, arguments))) {
    failure = "Cannot create file \"" + file + "\". " + std::strerror(errno);
  }
  if (failure.empty()) return true;
  prompter.Ask(failure, "Exception", Buttons::OkCancel);
  return false;
}

std::string StartupShortcutPath(const std::string& name) {
  std::optional<std::string> folder = LookUpSpecialFolder(kStartupFolder);
  return folder ? *folder + name + ".desktop" : std::string();
}

bool AddStartupShortcut(const std::string& name, const std::string& target,
                        const std::string& arguments, Prompter& prompter) {
  std::string folder = SpecialFolder(kStartupFolder, prompter);
  if (folder.empty()) return false;
  std::error_code ec;
  fs::create_directories(folder, ec);  // a failure shows up when the entry is written
  return CreateShortcut(target, name, arguments, folder, prompter);
}

bool RemoveStartupShortcut(const std::string& name) {
  if (!IsUsableShortcutName(name)) return false;
  const std::string path = StartupShortcutPath(name);
  if (path.empty()) return false;
  std::error_code ec;
  fs::remove(path, ec);
  return !ec;
}

// ---- Opening addresses and files ----------------------------------------------------------------

std::string OpenerProgram() {
  if (!OpenerOverride().empty()) return OpenerOverride();
  std::string from_environment = EnvironmentValue("TIKORA_OPENER");
  return from_environment.empty() ? std::string("xdg-open") : from_environment;
}

void SetOpenerProgram(const std::string& program) { OpenerOverride() = program; }

bool OpenUrl(const std::string& address, bool ask, Prompter& prompter) {
  if (ask && prompter.Ask("Connect to the Internet now?", "Confirm", Buttons::YesNo) != Answer::Yes) {
    return false;
  }
  if (RunWithArgument(OpenerProgram(), address)) return true;
  prompter.Show("Could not start your Internet browser", "Launch Error", MessageKind::Error);
  return false;
}

bool LaunchFile(const std::string& path, Prompter& prompter) {
  // A path that starts with "-" would be taken for an option of the opener.
  const std::string argument = !path.empty() && path.front() == '-' ? "./" + path : path;
  if (RunWithArgument(OpenerProgram(), argument)) return true;
  prompter.Show("Could not launch " + path, "Launch Error", MessageKind::Error);
  return false;
}

}  // namespace tikora
