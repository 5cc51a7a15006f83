#pragma once
// Which kinds of schema objects a metadata reader loads; the settings object
// the database component publishes. It only holds values.
#include "platform/core/Classes.h"
#include "platform/core/Sets.h"

namespace px {

enum TOIDDatabase {
  OIDDomain,
  OIDTable,
  OIDView,
  OIDProcedure,
  OIDGenerator,
  OIDException,
  OIDUDF,
  OIDRole,
  OIDDBCharset,
  OIDDependencies
};
enum TOIDTable {
  OIDTableField,
  OIDPrimary,
  OIDForeign,
  OIDTableTrigger,
  OIDUnique,
  OIDIndex,
  OIDCheck,
  OIDTableGrant,
  OIDTableFieldGrant
};
enum TOIDView { OIDViewField, OIDViewTrigers, OIDViewGrant, OIDViewFieldGrant };
enum TOIDProcedure { OIDProcFieldIn, OIDProcFieldOut, OIDProcedureGrant };
enum TOIDUDF { OIDUDFField };
enum TOIDRole { OIDRoleGrant };

using TOIDDatabases = TSet<TOIDDatabase>;
using TOIDTables = TSet<TOIDTable>;
using TOIDViews = TSet<TOIDView>;
using TOIDProcedures = TSet<TOIDProcedure>;
using TOIDUDFs = TSet<TOIDUDF>;
using TOIDRoles = TSet<TOIDRole>;

class TMetaDataOptions : public TPersistent {
 public:
  TOIDDatabases Objects{OIDDomain, OIDTable,     OIDView, OIDProcedure, OIDGenerator,
                        OIDException, OIDUDF,    OIDRole, OIDDBCharset, OIDDependencies};
  TOIDTables Tables{OIDTableField, OIDPrimary, OIDForeign,    OIDTableTrigger,   OIDUnique,
                    OIDIndex,      OIDCheck,   OIDTableGrant, OIDTableFieldGrant};
  TOIDViews Views{OIDViewField, OIDViewTrigers, OIDViewGrant, OIDViewFieldGrant};
  TOIDProcedures Procedures{OIDProcFieldIn, OIDProcFieldOut, OIDProcedureGrant};
  TOIDUDFs UDFs{OIDUDFField};
  TOIDRoles Roles{OIDRoleGrant};
  bool SysInfos = false;

  void Assign(const TPersistent* source) override {
    if (auto* o = dynamic_cast<const TMetaDataOptions*>(source)) {
      Objects = o->Objects;
      Tables = o->Tables;
      Views = o->Views;
      Procedures = o->Procedures;
      UDFs = o->UDFs;
      Roles = o->Roles;
      SysInfos = o->SysInfos;
      return;
    }
    TPersistent::Assign(source);
  }
};

}  // namespace px
