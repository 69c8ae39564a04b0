#include "platform/system/FileReveal.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QProcess>
#include <QUrl>

namespace pelliqo {

namespace {

const QString fileManager = QStringLiteral("org.freedesktop.FileManager1");

// Running, or one the bus starts when asked: GNOME's Files, Dolphin and Thunar are started
// so, and often are not running yet.
bool offered(QDBusConnection& bus) {
    const QDBusConnectionInterface* names = bus.isConnected() ? bus.interface() : nullptr;
    if (names == nullptr) return false;
    return names->isServiceRegistered(fileManager) ||
           names->activatableServiceNames().value().contains(fileManager);
}

void openFolder(const std::filesystem::path& folder) {
    QProcess::startDetached(QStringLiteral("xdg-open"), {QString::fromStdString(folder.string())});
}

}  // namespace

void revealInFileManager(const std::filesystem::path& file) {
    revealInFileManager(std::vector{file});
}

void revealInFileManager(const std::vector<std::filesystem::path>& files) {
    if (files.empty()) return;
    const std::filesystem::path folder = files.front().parent_path();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!offered(bus)) return openFolder(folder);
    QDBusMessage call =
        QDBusMessage::createMethodCall(fileManager, QStringLiteral("/org/freedesktop/FileManager1"),
                                       fileManager, QStringLiteral("ShowItems"));
    QStringList uris;
    for (const auto& file : files)
        uris << QUrl::fromLocalFile(QString::fromStdString(file.string())).toString();
    call << uris << QString();
    // One that fails to start, or to show them, still leaves their folder to open.
    auto* reply = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(reply, &QDBusPendingCallWatcher::finished, [folder](auto* finished) {
        if (finished->isError()) openFolder(folder);
        finished->deleteLater();
    });
}

}  // namespace pelliqo
