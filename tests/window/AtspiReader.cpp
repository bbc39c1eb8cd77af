#include "AtspiReader.h"

#include <QCoreApplication>
#include <QDBusReply>

namespace {

constexpr char kAccessible[] = "org.a11y.atspi.Accessible";
constexpr int kCallTimeoutMs = 5000;

QString accessibilityBusAddress() {
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
        QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
    const QDBusReply<QString> address = QDBusConnection::sessionBus().call(ask);
    return address.isValid() ? address.value() : QString();
}

QList<AtspiObject> objectsOf(const QDBusMessage& reply) {
    QList<AtspiObject> objects;
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
        reply.arguments().constFirst().value<QDBusArgument>() >> objects;
    return objects;
}

} // namespace

void AtspiReader::run(const std::function<void(AtspiReader&)>& read) {
    qDBusRegisterMetaType<AtspiObject>();
    qDBusRegisterMetaType<QList<AtspiObject>>();
    std::atomic<bool> done = false;
    std::thread reader([&] {
        {
            AtspiReader atspi(
                QDBusConnection::connectToBus(accessibilityBusAddress(), "tessary-atspi-reader"));
            read(atspi);
        }
        QDBusConnection::disconnectFromBus("tessary-atspi-reader");
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    reader.join();
}

QDBusMessage AtspiReader::call(const AtspiObject& object, const QString& interface,
                               const QString& method, const QVariantList& arguments) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(object.service, object.path.path(), interface, method);
    message.setArguments(arguments);
    return bus_.call(message, QDBus::Block, kCallTimeoutMs);
}

QVariant AtspiReader::property(const AtspiObject& object, const QString& interface,
                               const QString& name) {
    const QDBusMessage reply = call(object, QStringLiteral("org.freedesktop.DBus.Properties"),
                                    QStringLiteral("Get"), {interface, name});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

std::optional<AtspiObject> AtspiReader::application() {
    const QList<AtspiObject> applications =
        children({QStringLiteral("org.a11y.atspi.Registry"),
                  QDBusObjectPath(QStringLiteral("/org/a11y/atspi/accessible/root"))});
    if (applications.isEmpty())
        return std::nullopt;
    return applications.constFirst();
}

std::optional<AtspiObject> AtspiReader::findWithText(const AtspiObject& from,
                                                     const QString& wanted) {
    for (const AtspiObject& child : children(from)) {
        if (name(child) == wanted &&
            interfaces(child).contains(QStringLiteral("org.a11y.atspi.Text")))
            return child;
        if (std::optional<AtspiObject> below = findWithText(child, wanted))
            return below;
    }
    return std::nullopt;
}

QString AtspiReader::name(const AtspiObject& object) {
    return property(object, kAccessible, QStringLiteral("Name")).toString();
}

bool AtspiReader::hasState(const AtspiObject& object, unsigned state) {
    const QDBusMessage reply = call(object, kAccessible, QStringLiteral("GetState"));
    if (reply.arguments().isEmpty())
        return false;
    QList<unsigned> words;
    reply.arguments().constFirst().value<QDBusArgument>() >> words;
    const auto word = qsizetype(state / 32);
    return word < words.size() && (words[word] >> (state % 32) & 1u) != 0;
}

QStringList AtspiReader::interfaces(const AtspiObject& object) {
    const QDBusMessage reply = call(object, kAccessible, QStringLiteral("GetInterfaces"));
    return reply.arguments().isEmpty() ? QStringList()
                                       : reply.arguments().constFirst().toStringList();
}

QList<AtspiObject> AtspiReader::children(const AtspiObject& object) {
    return objectsOf(call(object, kAccessible, QStringLiteral("GetChildren")));
}

QString AtspiReader::text(const AtspiObject& object) {
    const QDBusMessage reply =
        call(object, QStringLiteral("org.a11y.atspi.Text"), QStringLiteral("GetText"), {0, -1});
    return reply.arguments().isEmpty() ? QString() : reply.arguments().constFirst().toString();
}
