// Text-database files: any file loads without writing outside the index, and every number up to
// the largest can be fetched.
#include "FuzzSupport.h"
#include "textdatabase/TextConversion.h"
#include "textdatabase/TextDatabase.h"
#include "utility/LList.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::setUp();
    llistInitElementPool();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fuzz::InputFile input("fuzz.txt", data, size);
    createTextDatabase("fuzz.txt", "ID");
    const CTextDatabase* database = findTextDatabase("ID");
    if (!database || database->GetMaxID() > 9999) abort();
    char ascii[16];
    for (int n = 0; n <= database->GetMaxID() + 1; ++n)
        if (const WCHAR* text = getText("ID", n)) {
            unicodeToAscii(text, ascii, sizeof ascii);
            int found = 0;
            if (!findTextID("ID", text, &found) || found < 1 || found > database->GetMaxID()) abort();
        }
    removeAllTextDatabases();
    if (llistElementsInUse() != 0) abort();
    return 0;
}
