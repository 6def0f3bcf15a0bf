// The C compiler as a client of the item text: the declarations compile,
// hold as many items as they declare, and hold the input's values, also
// when every line of a declaration continues a macro.
#include "cli.h"
#include "convert_data.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace zktest;

namespace {

const char kProgram[] =
    "#include <stdio.h>\n"
    "#include \"tables.h\"\n"
    "#define DUMP(t, m)                                                \\\n"
    "    do {                                                          \\\n"
    "        unsigned long n = sizeof t / sizeof t[0], i;              \\\n"
    "        if (n != sizeof m / sizeof m[0]) return 2;                \\\n"
    "        for (i = 0; i < n; ++i) {                                 \\\n"
    "            if (t[i] != m[i]) return 3;                           \\\n"
    "            printf(\"%lx\\n\", (unsigned long)t[i]);              \\\n"
    "        }                                                         \\\n"
    "    } while (0)\n"
    "int main(void)\n"
    "{\n"
    "    DECLARE_MACRO_TABLE1\n"
    "    DECLARE_MACRO_TABLE2\n"
    "    DECLARE_MACRO_TABLE4\n"
    "    DUMP(table1, macro_table1);\n"
    "    DUMP(table2, macro_table2);\n"
    "    DUMP(table4, macro_table4);\n"
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

TEST(ItemTextClient, ArraysCompileAndHoldTheInputValues)
{
    if (std::system("cc --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no C compiler";
    const Bytes data = random_bytes(1001, 5);  // a partial last item for sizes 2 and 4
    std::string tables, values;
    for (int size : {1, 2, 4}) {
        const std::string n = std::to_string(size);
        tables += library_text(data, {.item_size = size, .per_line = 7, .break_period = 5}, ("table" + n).c_str());
        const zk::ItemLayout in_macro{.item_size = size, .break_period = 3, .slash = true};
        tables += "#define DECLARE_MACRO_TABLE" + n + " " + library_text(data, in_macro, ("macro_table" + n).c_str());
        values += item_values(data, size);
    }
    TempDir dir;
    dir.write("tables.h", tables);
    dir.write("prog.c", std::string(kProgram));
    const std::string build = "cd '" + dir.path().string() +
                              "' && cc -std=c99 -Wall -Werror -o prog prog.c 2>errors.txt && ./prog >values.txt";
    EXPECT_EQ(std::system(build.c_str()), 0) << dir.read_text("errors.txt");
    EXPECT_EQ(dir.read_text("values.txt"), values);
}
