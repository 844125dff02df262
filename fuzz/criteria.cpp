// Recordset criteria, as FindFirst and FindNext take them.
#include <cstdint>
#include <string>

#include "dao/database.h"
#include "runtime/error.h"
#include "support/scratch.h"

namespace {
dao::Recordset* rows = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static dao::Database db = dao::Database::create(fuzz::scratch() / "Criteria.dat");
    db.execute("CREATE TABLE tblYear (fldYear INTEGER, fldMonth INTEGER, fldDay INTEGER, fldName TEXT, "
               "fldUse BOOLEAN, fldDate TEXT, fldRate REAL)");
    db.execute("INSERT INTO tblYear VALUES (2027, 1, 1, '元日', True, '2027-01-01', 1.5)");
    db.execute("INSERT INTO tblYear VALUES (2027, 5, 3, 'Kenpo''s day', False, '2027-05-03', -2)");
    db.execute("INSERT INTO tblYear VALUES (2028, 12, 31, NULL, True, NULL, 0)");
    static dao::Recordset rs = db.openRecordset("SELECT * FROM tblYear ORDER BY fldYear, fldMonth");
    rows = &rs;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string criteria(reinterpret_cast<const char*>(data), size);
    try {
        rows->findFirst(criteria);
        if (!rows->noMatch()) rows->findNext(criteria);
    } catch (const runtime::Error&) {
    }
    return 0;
}
