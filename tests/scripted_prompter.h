// A Prompter for tests: answers questions from a queue and records everything shown or asked.
//
//   tikora::test::ScriptedPrompter prompter;
//   prompter.QueueAnswer(tikora::Answer::No);
//   EXPECT_FALSE(OpenUrl("http://example.org", true, prompter));
//   ASSERT_EQ(prompter.Questions().size(), 1u);
//   EXPECT_EQ(prompter.Questions()[0].text, "Connect to the Internet now?");
//
// A question with no queued answer fails the running test and answers Cancel (or No for Yes/No
// questions), the choice that changes nothing. Input boxes take queued texts; with none queued
// they are cancelled. Install it for helpers that use DefaultPrompter() with ScopedDefaultPrompter.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/prompter.h"

namespace tikora::test {

class ScriptedPrompter : public Prompter {
 public:
  struct Message {
    std::string text;
    std::string caption;
    MessageKind kind;
  };
  struct Question {
    std::string text;
    std::string caption;
    Buttons buttons;
    Answer answer;
  };
  struct InputRequest {
    std::string text;
    std::string caption;
    std::string proposal;
  };

  void QueueAnswer(Answer answer) { answers_.push_back(answer); }
  // The next input box returns true with `value`; std::nullopt cancels it.
  void QueueInput(std::optional<std::string> value) { inputs_.push_back(std::move(value)); }

  Answer Ask(const std::string& text, const std::string& caption, Buttons buttons) override {
    Answer answer = NothingChanging(buttons);
    if (answers_.empty()) {
      ADD_FAILURE() << "unexpected question: " << caption << ": " << text;
    } else {
      answer = answers_.front();
      answers_.pop_front();
    }
    asked_.push_back({text, caption, buttons, answer});
    texts_.push_back(text);
    return answer;
  }

  void Show(const std::string& text, const std::string& caption, MessageKind kind) override {
    shown_.push_back({text, caption, kind});
    texts_.push_back(text);
  }

  bool Input(const std::string& text, const std::string& caption, std::string& value) override {
    inputs_seen_.push_back({text, caption, value});
    if (inputs_.empty()) return false;
    std::optional<std::string> next = inputs_.front();
    inputs_.pop_front();
    if (!next) return false;
    value = *next;
    return true;
  }

  // Messages shown, questions asked and input boxes opened, each in call order.
  const std::vector<Message>& Messages() const { return shown_; }
  const std::vector<Question>& Questions() const { return asked_; }
  const std::vector<InputRequest>& InputRequests() const { return inputs_seen_; }
  // The texts of messages and questions in the order they reached the prompter.
  const std::vector<std::string>& Texts() const { return texts_; }
  std::size_t PendingAnswers() const { return answers_.size(); }

 private:
  static Answer NothingChanging(Buttons buttons) {
    switch (buttons) {
      case Buttons::Ok: return Answer::Ok;
      case Buttons::YesNo:
      case Buttons::YesNoCancel: return Answer::No;
      case Buttons::AbortRetryIgnore: return Answer::Abort;
      default: return Answer::Cancel;
    }
  }

  std::deque<Answer> answers_;
  std::deque<std::optional<std::string>> inputs_;
  std::vector<Message> shown_;
  std::vector<Question> asked_;
  std::vector<InputRequest> inputs_seen_;
  std::vector<std::string> texts_;
};

// Makes `prompter` the DefaultPrompter() for the guard's lifetime.
class ScopedDefaultPrompter {
 public:
  explicit ScopedDefaultPrompter(Prompter& prompter) { SetDefaultPrompter(&prompter); }
  ~ScopedDefaultPrompter() { SetDefaultPrompter(nullptr); }
  ScopedDefaultPrompter(const ScopedDefaultPrompter&) = delete;
  ScopedDefaultPrompter& operator=(const ScopedDefaultPrompter&) = delete;
};

}  // namespace tikora::test
