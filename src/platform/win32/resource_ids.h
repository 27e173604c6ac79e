/* Win32 backend: resource numbers shared by resources.rc and the code. */
#pragma once

#define FILMBAR_ICON_ID 101
