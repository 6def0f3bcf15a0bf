// A qemu plugin that watches every memory access of the emulated program
// and counts the word and long accesses at odd addresses, which a real
// 68000 refuses with an address error (qemu carries them out). At exit it
// writes, to the file named by its argument out=<path>:
//   accesses <all> wide <word or long> odd <word or long at odd addresses>
//   at <address of the instruction> <address accessed>    (the first few)
//
// qemu ships the plugin interface as a C header that Debian does not
// install; the few declarations below are those of its stable interface,
// version 1 (qemu 4.2 to 8.0).
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
using qemu_plugin_id_t = std::uint64_t;
struct qemu_info_t;
struct qemu_plugin_tb;
struct qemu_plugin_insn;
using qemu_plugin_meminfo_t = std::uint32_t;
enum qemu_plugin_cb_flags { QEMU_PLUGIN_CB_NO_REGS, QEMU_PLUGIN_CB_R_REGS, QEMU_PLUGIN_CB_RW_REGS };
enum qemu_plugin_mem_rw { QEMU_PLUGIN_MEM_R = 1, QEMU_PLUGIN_MEM_W, QEMU_PLUGIN_MEM_RW };
using qemu_plugin_vcpu_tb_trans_cb_t = void (*)(qemu_plugin_id_t, qemu_plugin_tb*);
using qemu_plugin_vcpu_mem_cb_t = void (*)(unsigned int, qemu_plugin_meminfo_t, std::uint64_t, void*);
using qemu_plugin_udata_cb_t = void (*)(qemu_plugin_id_t, void*);

void qemu_plugin_register_vcpu_tb_trans_cb(qemu_plugin_id_t id, qemu_plugin_vcpu_tb_trans_cb_t cb);
std::size_t qemu_plugin_tb_n_insns(const qemu_plugin_tb* tb);
qemu_plugin_insn* qemu_plugin_tb_get_insn(const qemu_plugin_tb* tb, std::size_t idx);
std::uint64_t qemu_plugin_insn_vaddr(const qemu_plugin_insn* insn);
void qemu_plugin_register_vcpu_mem_cb(qemu_plugin_insn* insn, qemu_plugin_vcpu_mem_cb_t cb,
                                      qemu_plugin_cb_flags flags, qemu_plugin_mem_rw rw, void* userdata);
unsigned int qemu_plugin_mem_size_shift(qemu_plugin_meminfo_t info);
void qemu_plugin_register_atexit_cb(qemu_plugin_id_t id, qemu_plugin_udata_cb_t cb, void* userdata);

__attribute__((visibility("default"))) extern const int qemu_plugin_version;
__attribute__((visibility("default"))) int qemu_plugin_install(qemu_plugin_id_t id, const qemu_info_t* info,
                                                               int argc, char** argv);
}

const int qemu_plugin_version = 1;

namespace {

std::string report_path;
std::atomic<std::uint64_t> accesses{0}, wide{0}, odd{0};
struct Odd {
    std::uint64_t insn, address;
};
std::vector<Odd> first_odd;  // the program runs on one thread

void on_access(unsigned int, qemu_plugin_meminfo_t info, std::uint64_t vaddr, void* insn)
{
    ++accesses;
    if (qemu_plugin_mem_size_shift(info) == 0) return;
    ++wide;
    if (vaddr & 1) {
        ++odd;
        if (first_odd.size() < 8) first_odd.push_back({reinterpret_cast<std::uintptr_t>(insn), vaddr});
    }
}

void on_translate(qemu_plugin_id_t, qemu_plugin_tb* tb)
{
    for (std::size_t i = 0, n = qemu_plugin_tb_n_insns(tb); i < n; ++i) {
        qemu_plugin_insn* insn = qemu_plugin_tb_get_insn(tb, i);
        void* at = reinterpret_cast<void*>(static_cast<std::uintptr_t>(qemu_plugin_insn_vaddr(insn)));
        qemu_plugin_register_vcpu_mem_cb(insn, on_access, QEMU_PLUGIN_CB_NO_REGS, QEMU_PLUGIN_MEM_RW, at);
    }
}

void on_exit(qemu_plugin_id_t, void*)
{
    std::FILE* f = std::fopen(report_path.c_str(), "w");
    if (!f) return;
    std::fprintf(f, "accesses %llu wide %llu odd %llu\n", static_cast<unsigned long long>(accesses.load()),
                 static_cast<unsigned long long>(wide.load()), static_cast<unsigned long long>(odd.load()));
    for (const Odd& o : first_odd)
        std::fprintf(f, "at %#llx %#llx\n", static_cast<unsigned long long>(o.insn),
                     static_cast<unsigned long long>(o.address));
    std::fclose(f);
}

}  // namespace

int qemu_plugin_install(qemu_plugin_id_t id, const qemu_info_t*, int argc, char** argv)
{
    for (int i = 0; i < argc; ++i)
        if (std::strncmp(argv[i], "out=", 4) == 0) report_path = argv[i] + 4;
    if (report_path.empty()) return -1;
    qemu_plugin_register_vcpu_tb_trans_cb(id, on_translate);
    qemu_plugin_register_atexit_cb(id, on_exit, nullptr);
    return 0;
}
