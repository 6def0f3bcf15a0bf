// The lines a tool prints for a variable file that fails check_calc_file,
// in the words zksetname, zkppggen and zkbin2png share. They are the
// tools' words, kept out of the calculator file library, which prints
// nothing: only tools include this header, as it needs the frame.
#pragma once

#include "calcfile.h"
#include "frame.h"

namespace zk {

// The line for the check c failed, naming the file; 1 (0 for Ok).
inline int fail_calc_check(const CalcCheckResult& c, const char* name)
{
    switch (c.status) {
    case CalcCheck::Ok:
        return 0;
    case CalcCheck::NoHeader:
        return fail("ERROR: cannot read TI fileheader from %s\n", name);
    case CalcCheck::NotTi:
        return fail("ERROR: %s doesn't start with '**TI'\n", name);
    case CalcCheck::NoTrailer:
        return fail("ERROR: cannot read the end of %s\n", name);
    case CalcCheck::LengthMismatch:
        return fail("ERROR: %s: embedded length (%lu) doesn't match real length (%lld)\n", name,
                    static_cast<unsigned long>(c.header.size()), static_cast<long long>(c.trailer.file_length));
    case CalcCheck::UnknownType:
        return fail("ERROR: %s is neither of STR, ASM nor OTH type\n", name);
    case CalcCheck::ReadError:
        return fail("ERROR: cannot read the data of %s\n", name);
    case CalcCheck::WrongChecksum:
        return fail("ERROR: %s has a wrong checksum (%u, not %u): repair it with zkchecksum first\n", name,
                    static_cast<unsigned>(c.trailer.stored_checksum), static_cast<unsigned>(c.computed));
    }
    return 1;
}

}  // namespace zk
