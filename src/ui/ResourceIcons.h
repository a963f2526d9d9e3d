#pragma once

#include <QIcon>

#include <initializer_list>

// Icon resources by the IDs the dialog templates and the button table use.
enum IconResource {
    IDR_MAINFRAME = 138,   // application icon
    IDI_SAVE = 142,
    IDI_UPLOAD = 146,
    IDI_EXIT = 151,
    IDI_HELP = 152,
    IDI_PRINT = 153,
    IDI_PREVIEW = 156,
    IDI_CLEAR = 162,
    IDI_CLEAR_OK = 165,    // the green tick of the clear notice
};

// Makes the compiled-in icons and help reachable under ":/".
void EnsureResources();

// The icon of a resource, rendered at each of the given pixel sizes (square);
// a null icon for an unknown resource.
QIcon LoadResourceIcon(int resourceId, std::initializer_list<int> sizes);

// The application icon at 16, 32 and 48 pixels.
QIcon ApplicationIcon();
