#pragma once

#include <QAbstractItemView>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QtTest>

#include <algorithm>

// The NMEA setup window's controls as a test reaches them, and the operator's
// way of choosing a list entry.
namespace WindowControls {

// The nine rate lists in row order.
inline QList<QComboBox*> RateLists(QWidget* window)
{
    QList<QComboBox*> lists = window->findChildren<QComboBox*>(QStringLiteral("UpdateRate"));
    std::sort(lists.begin(), lists.end(), [](QWidget* a, QWidget* b) {
        return a->property("Index").toInt() < b->property("Index").toInt();
    });
    return lists;
}

inline QPlainTextEdit* Text1(QWidget* window) { return window->findChild<QPlainTextEdit*>(QStringLiteral("Text1")); }

// Drops the list down and clicks `entry` with the mouse; the click's handler
// has run when this returns. False when the entry cannot be chosen.
inline bool Choose(QComboBox* list, const QString& entry)
{
    const int index = list->findText(entry);
    if (index < 0 || !list->isEnabled())
        return false;
    list->showPopup();
    QAbstractItemView* view = list->view();
    if (!QTest::qWaitFor([view] { return view->isVisible(); }, 2000))
        return false;
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(index, 0)).center());
    return true;
}

} // namespace WindowControls
