/* A stand-in client library that exports every entry point name (as empty
   functions). Built twice: complete, and with one name missing. */
#ifdef PX_STUB_OMIT_ONE
#define isc_vtov px_stub_renamed_isc_vtov
#endif

#define PX_DBC_ENTRY(name) \
  void name(void);         \
  void name(void) {}
#include "dbclient/dbclibEntryPoints.inc"
#undef PX_DBC_ENTRY
