#include "platform/FileReveal.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QUrl>

namespace pelliqo {

void revealInFileManager(const std::filesystem::path& file) {
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.interface() != nullptr &&
        bus.interface()->isServiceRegistered(service)) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                           service, QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(QString::fromStdString(file.string())).toString()}
             << QString();
        bus.asyncCall(call);
        return;
    }
    QProcess::startDetached(QStringLiteral("xdg-open"),
                            {QString::fromStdString(file.parent_path().string())});
}

}  // namespace pelliqo
