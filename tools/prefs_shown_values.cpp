#include "tools/prefs_shown_values.h"

#include <utility>

#include "base/settings/global_settings.h"

PrefsShownValues::PrefsShownValues(Read read, Show show) : m_read(std::move(read)), m_show(std::move(show)) {}

PrefsShownValues::~PrefsShownValues() = default;

void PrefsShownValues::loaded() {
    m_shown = std::make_unique<GlobalSettings>();
    m_read(m_shown.get());
    m_edited.clear();
}

void PrefsShownValues::edited(const QStringList& keys) {
    for (const QString& key : keys) m_edited.insert(key);
}

void PrefsShownValues::follow(const GlobalSettings& store) {
    if (!m_shown) return;
    GlobalSettings before;
    m_read(&before);
    GlobalSettings after;
    m_read(&after);
    store.takeStoredChanges(*m_shown, after, m_edited);
    m_show(&after, &before);
    // A new value a control shows rounded or as its default is, as at loading, what
    // it shows of the store.
    GlobalSettings readBack;
    m_read(&readBack);
    m_shown->storeEdits(after, readBack);
}

void PrefsShownValues::save(GlobalSettings& store) {
    if (!m_shown) return;
    follow(store);
    GlobalSettings edited;
    m_read(&edited);
    store.storeEdits(*m_shown, edited);
}
