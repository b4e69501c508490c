#pragma once

#include <QString>

namespace orvane::ServerRegistration {

// Where hosts and design environments find the library's classes: a small
// registry of class ids ($XDG_DATA_HOME/Orvane/classes.ini, one group per
// class name with its ClassId and Library), and the user's Designer plugin
// folder (~/.designer/plugins), which gets a link to the Designer plugin.
QString registryFile();
QString designerPluginLink();
// This library's file, and the Designer plugin installed beside it (empty
// when there is none).
QString libraryFile();
QString designerPlugin();

bool registerServer();
// Removes the classes recorded for this library and the link to its plugin,
// and nothing else.
bool unregisterServer();

} // namespace orvane::ServerRegistration
