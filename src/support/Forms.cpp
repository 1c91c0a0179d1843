#include "support/Forms.h"

#include <QApplication>
#include <QHash>
#include <QWidget>

namespace Forms {
namespace {

constexpr const char* kUnloadedProperty = "varnexUnloaded";

QHash<QString, Loader>& Loaders()
{
    static QHash<QString, Loader> loaders;
    return loaders;
}

} // namespace

void RegisterLoader(const QString& name, Loader loader) { Loaders().insert(name, std::move(loader)); }

QWidget* Load(const QString& name)
{
    if (QWidget* form = Find(name))
        return form;
    const auto it = Loaders().constFind(name);
    if (it == Loaders().constEnd())
        return nullptr;
    QWidget* form = (*it)();
    return (form && !IsUnloaded(form)) ? form : nullptr;
}

QWidget* Find(const QString& name)
{
    // The command line runs on a bare QCoreApplication: no windows to find.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return nullptr;
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        if (w->objectName() == name && !IsUnloaded(w))
            return w;
    }
    return nullptr;
}

void Unload(QWidget* form)
{
    if (!form || IsUnloaded(form))
        return;
    form->setProperty(kUnloadedProperty, true);
    form->hide();
    form->deleteLater();
}

void MarkUnloaded(QWidget* form)
{
    if (!form || IsUnloaded(form))
        return;
    form->setProperty(kUnloadedProperty, true);
    form->setAttribute(Qt::WA_DeleteOnClose);
}

bool IsUnloaded(const QWidget* form) { return form->property(kUnloadedProperty).toBool(); }

} // namespace Forms
