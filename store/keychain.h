#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

namespace Quorvane {

// Keys and passwords in the system keychain (the Secret Service on Linux, the Credential Manager
// on Windows). Where no keychain answers, what the user enters is kept in memory only, until the
// program ends, and the store says so. Nothing is ever written to a file of ours.
class KeyStore final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(KeyStore)

public:
    enum class Outcome {
        InKeychain, // read from or written to the keychain
        InMemory, // no keychain answered; the value lives in memory
        NotFound, // nothing stored under that name
    };
    using Done = std::function<void(Outcome outcome, const QString &value)>;

    // `service` names the program's entries in the keychain.
    explicit KeyStore(QString service = QStringLiteral("Quorvane"), QObject *parent = nullptr);

    // Each call answers once, later, through `done` (value empty for writes and removals).
    void read(const QString &entry, Done done);
    void write(const QString &entry, const QString &value, Done done);
    void remove(const QString &entry, Done done);

    // True once a keychain has failed to answer: values then live in memory only.
    bool memoryOnly() const { return m_memoryOnly; }
    // The words the program shows while that is so.
    static QString memoryOnlyText();

Q_SIGNALS:
    void memoryOnlyChanged(bool memoryOnly);

private:
    void fallBack();

    QString m_service;
    QHash<QString, QString> m_memory;
    bool m_memoryOnly = false;
};

} // namespace Quorvane
