// Every message box and question of both programs goes through a Prompter, so that rules are
// testable headless: the desktop program answers with dialogs, tests with a script, and the
// headless commands with their --yes / --no flags.
#pragma once

#include <string>

namespace tikora {

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, AbortRetryIgnore, RetryCancel };
enum class Answer { Ok, Cancel, Yes, No, Abort, Retry, Ignore };
enum class MessageKind { Information, Warning, Error, Question };

class Prompter {
 public:
  virtual ~Prompter() = default;
  // A question: shows `text` with `caption` and returns the button chosen.
  virtual Answer Ask(const std::string& text, const std::string& caption, Buttons buttons) = 0;
  // A message that needs no decision (an OK box).
  virtual void Show(const std::string& text, const std::string& caption, MessageKind kind) = 0;
  // An input box: returns false when cancelled; `value` holds the proposal on entry.
  virtual bool Input(const std::string& text, const std::string& caption, std::string& value) = 0;
};

// The prompter that free helpers use when their caller gave none. Starts as a StderrPrompter
// that answers every question with the choice that changes nothing; programs replace it at start.
Prompter& DefaultPrompter();
void SetDefaultPrompter(Prompter* prompter);  // nullptr restores the built-in one

// Writes messages to standard error and answers questions with a fixed choice: `answer_yes`
// chooses Yes/OK/Retry, otherwise No/Cancel/Abort. Input boxes keep their proposal when answering
// yes and are cancelled otherwise.
class StderrPrompter : public Prompter {
 public:
  explicit StderrPrompter(bool answer_yes = false) : answer_yes_(answer_yes) {}
  Answer Ask(const std::string& text, const std::string& caption, Buttons buttons) override;
  void Show(const std::string& text, const std::string& caption, MessageKind kind) override;
  bool Input(const std::string& text, const std::string& caption, std::string& value) override;

 private:
  bool answer_yes_;
};

}  // namespace tikora
