// zkhelp: the suite's index of tools. Takes no flags; arguments are ignored.
#include "frame.h"

static constexpr const zk::ToolId& kId = zk::tool("zkhelp");

// Lines name more tools than the suite ships; a removed one stands in brackets.
static constexpr const char kToolList[] =
    "zkarchive   ... archive generation\n"
    "zkbin2bin   ... TI89 <-> TI92p binary conversion\n"
    "zkbin2hex   ... binary file to C array data\n"
    "zkbin2oth   ... binary file to special type calcfile\n"
    "zkbin2str   ... binary file to string calcfile\n"
    "zkchecksum  ... corrects checksum of 89z/89s/89y/9xz/9xs/9xy files\n"
    "[zkdasm]    ... REMOVED: use sliverdis instead\n"
    "zkdos2ebk   ... dos text to ebook conversion\n"
    "zkebkgen    ... ebook generator\n"
    "zkextract   ... extract from binary using start and endtoken\n"
    "zkhelp      ... prints tool list\n"
    "zkhex2bin   ... converts textfile with hex or binary numbers into a binary file\n"
    "zkinfo      ... prints infos about 89z/89s/89y/9xz/9xs/9xy files\n"
    "zkpack      ... packer\n"
    "zkppggen    ... PPG (packed programs) generator\n"
    "zksetname   ... sets the file name that appears on the calculator\n"
    "zksplit     ... splits a file in parts\n"
    "zkstrip     ... strips header and trailing checksum from calcfile\n"
    "zktiler     ... generates single sprites from a binary image file\n"
    "zkunarchive ... extracts entries from ZKArchives or list content\n"
    "zkunebk     ... exports complete text of ebook to textfile\n"
    "zkunpack    ... unpacker\n"
    "\n";

int main()
{
    zk::hold_std_streams();
    zk::print_banner(kId);
    std::fputs(kToolList, stdout);
    return zk::finish(0);
}
