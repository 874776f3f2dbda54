#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QString>
#include <QTest>
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace plimsy::test {

// Seconds; only a bound on waiting, never asserted.
inline constexpr int patience_ms = 15000;

// Runs the event loop until pred holds or patience runs out.
inline bool wait_for(const std::function<bool()>& pred) { return QTest::qWaitFor(pred, patience_ms); }

// The control side of the BlueZ stand-in (tests/bluez/bluez_standin.py) on
// the private system bus that tests/bluez/with_standin.sh started.
class standin_t {
public:
    standin_t() : mock_("org.bluez", "/", "org.bluez.Mock", QDBusConnection::systemBus()) {}

    // Whether the stand-in answers; false when the test runs without the
    // wrapper script.
    bool reachable() { return mock_.isValid(); }

    // No boards, radio on.
    void reset() { check(mock_.call("Reset")); }
    QString add_board(const QString& name, const QString& address, qint16 rssi) {
        return QDBusReply<QString>(mock_.call("AddBoard", name, address, QVariant::fromValue(rssi))).value();
    }
    void remove_board(const QString& address) { check(mock_.call("RemoveBoard", address)); }
    // False if the board refused: its notifications are not switched on.
    bool notify(const QString& address, const QByteArray& bytes) {
        return mock_.call("Notify", address, bytes).type() == QDBusMessage::ReplyMessage;
    }
    void drop_connection(const QString& address) { check(mock_.call("DropConnection", address)); }
    void set_powered(bool on) { check(mock_.call("SetPowered", on)); }
    // A host without a Bluetooth adapter (false), or with its one adapter.
    void set_adapter_present(bool present) { check(mock_.call("SetAdapterPresent", present)); }
    bool notifying(const QString& address) { return QDBusReply<bool>(mock_.call("Notifying", address)).value(); }
    bool connected(const QString& address) { return QDBusReply<bool>(mock_.call("Connected", address)).value(); }
    int connects(const QString& address) { return QDBusReply<int>(mock_.call("Connects", address)).value(); }

    // Every WriteValue on the board's receive characteristic: the bytes and
    // the write type.
    std::vector<std::pair<std::string, std::string>> writes(const QString& address) {
        std::vector<std::pair<std::string, std::string>> out;
        const QDBusMessage reply = mock_.call("Writes", address);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return out;
        const QDBusArgument arg = reply.arguments().at(0).value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            QByteArray bytes;
            QString type;
            arg.beginStructure();
            arg >> bytes >> type;
            arg.endStructure();
            out.emplace_back(bytes.toStdString(), type.toStdString());
        }
        arg.endArray();
        return out;
    }

private:
    static void check(const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ErrorMessage) ADD_FAILURE() << reply.errorMessage().toStdString();
    }

    QDBusInterface mock_;
};

}  // namespace plimsy::test
