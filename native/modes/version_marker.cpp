// The Java loader reads this text from the library file before it loads the modes library and
// refuses one built for other Java classes. The library exports nothing but its JNI functions,
// so the version travels as data; nothing references it, hence `used`, which keeps it in the
// object file, and on ELF `retain`, which keeps it through a link that drops unreferenced
// sections.
namespace {

#if defined(__ELF__)
[[gnu::used, gnu::retain]]
#else
[[gnu::used]]
#endif
const char kVersionMarker[] = "nl.tamsel.ftdi.modes.version=" FTDI_MODES_VERSION;

}  // namespace
