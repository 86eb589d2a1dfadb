#pragma once

#include <QObject>
#include <QString>
#include <stdexcept>
#include <string>

namespace qbtest {

// A window's part by its objectName, as a script would find it. A missing part throws, so the
// test fails with the name instead of dereferencing null.
template <class T = QObject> T* Child(const QObject* window, const char* name)
{
    T* part = window ? window->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    if (!part)
        throw std::runtime_error(std::string("no ") + T::staticMetaObject.className() + " named " + name);
    return part;
}

} // namespace qbtest
