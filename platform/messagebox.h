#pragma once

#include <QString>

#include <functional>

namespace platform {

enum class MessageIcon { Information, Warning };

// A message box with an OK button only, captioned "KelvoMonitor"; returns when
// the member has closed it.
void ShowMessage(const QString& text, MessageIcon icon);

// Tests answer message boxes here instead of on the screen. An empty handler
// restores the real boxes.
using MessageHandler = std::function<void(const QString& text, MessageIcon icon)>;
void setMessageHandler(MessageHandler handler);

// A question with はい and いいえ (the default), captioned as above; true for はい.
bool AskYesNo(const QString& text);
using QuestionHandler = std::function<bool(const QString& text)>;
void setQuestionHandler(QuestionHandler handler);

extern const QString ApplicationTitle;

} // namespace platform
