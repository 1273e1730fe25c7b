#pragma once

#include <QString>

class QWidget;

namespace vellumo {

// Message box styles and answers, as numbers, so commands read like their
// descriptions: style 20 is Yes and No with the critical-stop icon.
namespace MsgStyle {
constexpr int OkOnly = 0;
constexpr int YesNo = 4;
constexpr int Critical = 16;
constexpr int Exclamation = 48;
constexpr int DefaultButton2 = 256;
} // namespace MsgStyle

constexpr int kAnswerOk = 1;
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // Modal over owner; returns the button pressed. An empty title shows the application's.
    virtual int show(QWidget *owner, const QString &prompt, int style,
                     const QString &title = QString()) = 0;
};

class QtMessageBox : public MessageBoxService {
public:
    int show(QWidget *owner, const QString &prompt, int style,
             const QString &title = QString()) override;
};

} // namespace vellumo
