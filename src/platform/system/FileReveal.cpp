#include "platform/system/FileReveal.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QUrl>

namespace pelliqo {

void revealInFileManager(const std::filesystem::path& file) {
    revealInFileManager(std::vector{file});
}

void revealInFileManager(const std::vector<std::filesystem::path>& files) {
    if (files.empty()) return;
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.interface() != nullptr &&
        bus.interface()->isServiceRegistered(service)) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                           service, QStringLiteral("ShowItems"));
        QStringList uris;
        for (const auto& file : files)
            uris << QUrl::fromLocalFile(QString::fromStdString(file.string())).toString();
        call << uris << QString();
        bus.asyncCall(call);
        return;
    }
    QProcess::startDetached(QStringLiteral("xdg-open"),
                            {QString::fromStdString(files.front().parent_path().string())});
}

}  // namespace pelliqo
