#pragma once

namespace orvane::HostApplication {

// Makes sure the process has an application object before the C interface
// creates a widget: a host without Qt gets one, made on the calling thread,
// whose events run on that thread's GLib main context. It is never quit by a
// closed window and lives until the process ends.
void ensure();

} // namespace orvane::HostApplication
