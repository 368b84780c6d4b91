#pragma once
// What a window of preference pages shows of the preferences store, so that its Save
// stores exactly what the person changed there, as it is shown. Such a window stays
// open beside others that store values too (the preferences window, the snapshot
// parameters dialog, the sound card warning): a value stored elsewhere meanwhile
// appears in each of its fields that the person left alone, and is never put back by
// its Save; a field edited there (typed, chosen, reset) keeps what it shows and its
// Save stores that, even when it equals what the field showed before.
//
// The window gives how its controls are read into a store and shown from one, loads
// its controls from the store, then calls loaded(); edited() whenever its pages report
// an edit; follow() after each change of the store (GlobalSettings::changed) while it
// is open; save() at its Save. Owned by the window; the store is not kept. GUI thread
// only.
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class GlobalSettings;

class PrefsShownValues {
public:
    // The window's controls into `into`.
    using Read = std::function<void(GlobalSettings* into)>;
    // The window's controls from `values`; only those that `showing` (the controls as
    // read now) holds otherwise are set.
    using Show = std::function<void(const GlobalSettings* values, const GlobalSettings* showing)>;

    PrefsShownValues(Read read, Show show);
    ~PrefsShownValues();

    // The controls were just loaded from the store: read back, so that a value a
    // control shows rounded or as its default counts as unchanged.
    // Nothing counts as edited any more.
    void loaded();
    // The person edited the values of these keys (GlobalSettings::keyOf, switch keys)
    // in the window: until the next loaded() their fields keep what they show.
    void edited(const QStringList& keys);
    // The values `store` holds otherwise than the window showed them go into the
    // fields not edited whose controls still show what they showed. Nothing before
    // loaded().
    void follow(const GlobalSettings& store);
    // follow(store), then stores there each value the controls show otherwise than
    // the store. Nothing before loaded().
    void save(GlobalSettings& store);

private:
    Read m_read;
    Show m_show;
    // What the controls showed of the store, value by value (null until loaded()).
    std::unique_ptr<GlobalSettings> m_shown;
    // The keys of the values edited since loaded().
    QSet<QString> m_edited;
};
