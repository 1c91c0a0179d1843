#pragma once

#include <QComboBox>

// A selection-only drop-down list that announces, before it drops down, that
// it is about to: the main window rebuilds its port list at that moment.
class DropDownList final : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override
    {
        emit dropDown();
        // Rebuilding the list may have ended the program (no port left).
        if (window()->isVisible())
            QComboBox::showPopup();
    }

signals:
    void dropDown();
};
