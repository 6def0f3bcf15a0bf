// The C compiler as a client of zkbin2hex: the declarations it writes
// compile, hold as many items as they declare, and hold the input's values.
#include "cli.h"
#include "convert_data.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace zktest;

namespace {

const char kProgram[] =
    "#include <stdio.h>\n"
    "#include \"table.h\"\n"
    "#include \"macro_table.h\"\n"
    "int main(void)\n"
    "{\n"
    "    DECLARE_MACRO_TABLE\n"
    "    unsigned long n = sizeof table / sizeof table[0];\n"
    "    if (n != sizeof macro_table / sizeof macro_table[0]) return 2;\n"
    "    for (unsigned long i = 0; i < n; ++i) {\n"
    "        if (table[i] != macro_table[i]) return 3;\n"
    "        printf(\"%lx\\n\", (unsigned long)table[i]);\n"
    "    }\n"
    "    return 0;\n"
    "}\n";

// The values of the items, big-endian, the last one filled with zeros.
std::string item_values(const Bytes& data, int size)
{
    std::string values;
    for (std::size_t at = 0; at < data.size(); at += static_cast<std::size_t>(size)) {
        unsigned long v = 0;
        for (std::size_t i = at; i < at + static_cast<std::size_t>(size); ++i)
            v = v << 8 | (i < data.size() ? data[i] : 0);
        char line[20];
        std::snprintf(line, sizeof line, "%lx\n", v);
        values += line;
    }
    return values;
}

}  // namespace

TEST(ZkBin2HexClient, ArraysCompileAndHoldTheInputValues)
{
    if (std::system("cc --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no C compiler";
    const Bytes data = random_bytes(1001, 5);  // a partial last item for sizes 2 and 4
    for (int size : {1, 2, 4}) {
        TempDir dir;
        dir.write("data.bin", data);
        dir.write("prog.c", std::string(kProgram));
        const std::string flag = "-b" + std::to_string(size);
        ASSERT_EQ(run_tool("zkbin2hex", {"-quiet", flag, "-a", "table", "-c", "7", "-lb", "5", "data.bin", "table.h"},
                           dir)
                      .status,
                  0);
        // Inside a macro every line of the declaration continues the next.
        ASSERT_EQ(run_tool("zkbin2hex", {"-quiet", "-slash", flag, "-a", "macro_table", "-lb", "3", "data.bin",
                                         "macro_text.h"},
                           dir)
                      .status,
                  0);
        dir.write("macro_table.h", "#define DECLARE_MACRO_TABLE " + dir.read_text("macro_text.h"));
        const std::string build = "cd '" + dir.path().string() +
                                  "' && cc -std=c99 -Wall -Werror -o prog prog.c 2>errors.txt && ./prog >values.txt";
        EXPECT_EQ(std::system(build.c_str()), 0) << dir.read_text("errors.txt");
        EXPECT_EQ(dir.read_text("values.txt"), item_values(data, size)) << size;
    }
}
