#pragma once

#include "app/StartModule.h"
#include "link/CommsFrm.h"
#include "support/Forms.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QWidget>

// Driving the real main window from a test.
namespace MainWindowDriver {

// Element `index` of the button array `array` ("SetAllOutputs", ...).
inline QPushButton* Button(QWidget* window, const char* array, int index)
{
    for (QPushButton* b : window->findChildren<QPushButton*>(QString::fromLatin1(array)))
        if (b->property("Index").toInt() == index)
            return b;
    return nullptr;
}

// Loads and shows the main window as the program's start does.
inline QWidget* Load()
{
    StartModule::RegisterForms();
    QWidget* window = Forms::Load(QStringLiteral("CommSetup"));
    if (window)
        window->show();
    return window;
}

// Unloads every window and the serial holder, deleting them at once.
inline void UnloadAll()
{
    for (const char* name : {"SetupScreenfrm", "CommSetup"})
        if (QWidget* w = Forms::Find(QString::fromLatin1(name)))
            Forms::Unload(w);
    CommsFrm::Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace MainWindowDriver
