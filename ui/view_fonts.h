#pragma once
// The Roboto faces of the resources (":/Rsc/RESSOURCES_UI/Roboto/<style>.ttf"),
// registered with the font database once per process, on first use.
// GUI thread only.
#include <QFont>

#include <optional>

// The font of `style` ("Roboto-Regular", "Roboto-Italic" or "Roboto-Bold") at
// `pointSize`. When the file cannot be registered, logs "Can't load font" and
// returns nothing: the caller keeps its own font.
std::optional<QFont> view_roboto_font(const QString& style, int pointSize);
