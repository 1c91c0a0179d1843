#pragma once

#include <QString>

#include <functional>

class QWidget;

// The program's windows by name. A window is "loaded" from its creation until
// it is unloaded; unloading hides it at once and deletes it later, so a window
// can unload itself (or another) from inside one of its own handlers.
namespace Forms {

using Loader = std::function<QWidget*()>;

// Registers how the window called `name` is loaded (created and initialised).
void RegisterLoader(const QString& name, Loader loader);
// The loaded window called `name`, loading it first if it is not loaded.
// nullptr when there is no loader, or when the window unloaded itself while loading.
QWidget* Load(const QString& name);
// The loaded top-level window whose object name equals `name` exactly, or nullptr.
QWidget* Find(const QString& name);
// Hides `form` without a close event, marks it unloaded and deletes it later.
void Unload(QWidget* form);
// Marks `form` unloaded and deletes it once it has closed; for a window that
// accepts its own close event.
void MarkUnloaded(QWidget* form);
bool IsUnloaded(const QWidget* form);

} // namespace Forms
