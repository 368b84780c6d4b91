#pragma once
// Shows a file selected in the desktop's file manager, in place of the Windows shell
// calls: the freedesktop org.freedesktop.FileManager1.ShowItems call on the session
// bus, falling back to opening the file's folder with QDesktopServices.
//
// Returns false on failure, after a debug message: "Fail to reveal file (2)" when the
// file does not exist, "Fail to reveal file (1)" when both ways failed. Nothing is
// shown to the user. GUI thread (needs a QGuiApplication for the fallback).
//
// Injectable: the whole action (for widgets that reveal files) or its two ways (to
// test this function without a session bus or a file manager).
#include <QString>

#include <functional>

bool revealInFileManager(const QString& path);

// Replaces revealInFileManager entirely; an empty function restores it.
void setRevealInFileManagerHook(std::function<bool(const QString& path)> hook);

// The two ways tried in turn: ShowItems with the file's URL, then opening the folder
// (its local path). An empty function restores the real one.
void setRevealBackends(std::function<bool(const QString& fileUrl)> showItems,
                       std::function<bool(const QString& folderPath)> openFolder);
