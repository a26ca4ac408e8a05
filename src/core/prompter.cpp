#include "core/prompter.h"

#include <cstdio>

namespace tikora {
namespace {

Prompter* g_prompter = nullptr;

const char* KindWord(MessageKind kind) {
  switch (kind) {
    case MessageKind::Information: return "";
    case MessageKind::Warning: return "warning: ";
    case MessageKind::Error: return "error: ";
    case MessageKind::Question: return "";
  }
  return "";
}

}  // namespace

Prompter& DefaultPrompter() {
  static StderrPrompter fallback;
  return g_prompter ? *g_prompter : fallback;
}

void SetDefaultPrompter(Prompter* prompter) { g_prompter = prompter; }

Answer StderrPrompter::Ask(const std::string& text, const std::string& caption, Buttons buttons) {
  Answer a;
  switch (buttons) {
    case Buttons::Ok: a = Answer::Ok; break;
    case Buttons::OkCancel: a = answer_yes_ ? Answer::Ok : Answer::Cancel; break;
    case Buttons::YesNo:
    case Buttons::YesNoCancel: a = answer_yes_ ? Answer::Yes : Answer::No; break;
    case Buttons::AbortRetryIgnore: a = answer_yes_ ? Answer::Retry : Answer::Abort; break;
    case Buttons::RetryCancel: a = answer_yes_ ? Answer::Retry : Answer::Cancel; break;
    default: a = Answer::Cancel;
  }
  std::fprintf(stderr, "%s%s%s (answered %s)\n", caption.c_str(), caption.empty() ? "" : ": ",
               text.c_str(), a == Answer::Yes || a == Answer::Ok || a == Answer::Retry ? "yes" : "no");
  return a;
}

void StderrPrompter::Show(const std::string& text, const std::string& caption, MessageKind kind) {
  std::fprintf(stderr, "%s%s%s%s\n", KindWord(kind), caption.c_str(), caption.empty() ? "" : ": ",
               text.c_str());
}

bool StderrPrompter::Input(const std::string& text, const std::string& caption,
                           std::string& value) {
  std::fprintf(stderr, "%s%s%s [%s] (answered %s)\n", caption.c_str(), caption.empty() ? "" : ": ",
               text.c_str(), value.c_str(), answer_yes_ ? "with the proposal" : "cancel");
  return answer_yes_;
}

}  // namespace tikora
