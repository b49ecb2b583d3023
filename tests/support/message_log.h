#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QtGlobal>

// Records the messages given while it lives, from any thread, and passes each on, so that
// QtTest still sees them.
class MessageLog {
public:
    MessageLog() {
        current_ = this;
        previous_ = qInstallMessageHandler(&MessageLog::record);
    }
    ~MessageLog() {
        qInstallMessageHandler(previous_);
        current_ = nullptr;
    }
    bool contains(const QString& text) const {
        QMutexLocker lock(&mutex_);
        return messages_.contains(text);
    }

private:
    static void record(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        {
            QMutexLocker lock(&current_->mutex_);
            current_->messages_ << text;
        }
        current_->previous_(type, context, text);
    }
    static inline MessageLog* current_ = nullptr;
    QtMessageHandler previous_ = nullptr;
    mutable QMutex mutex_;
    QStringList messages_;
};
