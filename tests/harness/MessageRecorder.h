#pragma once

#include "support/MessageBox.h"

#include <QStringList>

#include <functional>

// Records the texts of the message boxes shown while it lives, confirming each
// at once. `onMessage`, if given, runs at the moment a box would appear, so a
// test can look at the windows as the operator would see them then.
class MessageRecorder {
public:
    explicit MessageRecorder(std::function<void(const QString&)> onMessage = {})
    {
        MessageBox::SetObserver([this, onMessage](const QString& text) {
            texts.append(text);
            if (onMessage)
                onMessage(text);
        });
    }
    ~MessageRecorder() { MessageBox::SetObserver({}); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    QStringList texts;
};
