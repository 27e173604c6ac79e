// GTK backend: the certificate that this build trusts for the first player
// service's host, embedded at build time (see CMakeLists.txt). Both texts
// are empty in a build that trusts nothing extra.
#pragma once

namespace filmbar::gtk {

// The host, without a port, that the certificate is trusted for.
const char* trusted_certificate_host();
// The certificate, PEM.
const char* trusted_certificate_pem();

}  // namespace filmbar::gtk
