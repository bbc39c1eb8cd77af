// The window's accessibility tree as a screen reader reads it: over the AT-SPI bus, from a
// thread of its own, while the test's thread keeps answering for the window.
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <optional>
#include <thread>

// An object on the bus: the connection that serves it and its path.
struct AtspiObject {
    QString service;
    QDBusObjectPath path;
};
Q_DECLARE_METATYPE(AtspiObject)

inline QDBusArgument& operator<<(QDBusArgument& argument, const AtspiObject& object) {
    argument.beginStructure();
    argument << object.service << object.path;
    argument.endStructure();
    return argument;
}
inline const QDBusArgument& operator>>(const QDBusArgument& argument, AtspiObject& object) {
    argument.beginStructure();
    argument >> object.service >> object.path;
    argument.endStructure();
    return argument;
}

class AtspiReader {
public:
    static constexpr unsigned kStateFocused = 12;
    static constexpr unsigned kStateSelected = 23;

    // Runs read on a thread of its own, connected to the accessibility bus, and serves the
    // window's side on this one until read returns.
    static void run(const std::function<void(AtspiReader&)>& read);

    // The application's root: the only one on the test's private bus.
    std::optional<AtspiObject> application();
    // The first object below from, depth first, named name that has a text to read: a value,
    // not the caption that shares its name.
    std::optional<AtspiObject> findWithText(const AtspiObject& from, const QString& name);

    QString name(const AtspiObject& object);
    bool hasState(const AtspiObject& object, unsigned state);
    QStringList interfaces(const AtspiObject& object);
    QList<AtspiObject> children(const AtspiObject& object);
    // The Text interface's whole text.
    QString text(const AtspiObject& object);

private:
    explicit AtspiReader(QDBusConnection bus) : bus_(std::move(bus)) {}
    QDBusMessage call(const AtspiObject& object, const QString& interface, const QString& method,
                      const QVariantList& arguments = {});
    QVariant property(const AtspiObject& object, const QString& interface, const QString& name);

    QDBusConnection bus_;
};
