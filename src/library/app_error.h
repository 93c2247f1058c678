#pragma once
// The error the program raises for the player: its message is shown in the
// error box of the handler it escapes from. QtCore only.

#include <QString>

#include <stdexcept>

// An error with a message for the player; the message is kept as UTF-8.
class TAppError : public std::runtime_error {
public:
    explicit TAppError(const QString& message) : std::runtime_error(message.toStdString()) { }
    QString Message() const { return QString::fromUtf8(what()); }
};

// A database driver's own reason for a failure, as it follows our message:
// trimmed, and a plain statement when the driver gave none.
QString DriverText(const QString& driverMessage);
