#pragma once
// An environment variable set, or unset (no value), for the life of the object, then
// put back as it was (unset when it was unset). GUI thread of a test only: the
// environment is the whole process's.
#include <QByteArray>
#include <QtGlobal>
#include <optional>

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<QByteArray>& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_previous(qgetenv(name)) {
        if (value) qputenv(name, *value);
        else qunsetenv(name);
    }
    ~ScopedEnv() {
        if (m_had) qputenv(m_name, m_previous);
        else qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    const bool m_had;
    const QByteArray m_previous;
};
