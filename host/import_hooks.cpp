// Import-table hooks: the emulator rewrites entries of the plug-in's import address table so
// that tests can observe or fake the Windows calls the plug-in makes, without any hook in the
// plug-in itself.
#include <windows.h>
#include <ctype.h>
#include <string.h>
#include <string>
#include <vector>

#include "host/emulator.h"
#include "host/internal.h"

namespace fmhost {

namespace {

struct PatchedSlot {
    void **slot;
    void *original;
    std::string dll, function;
};
std::vector<PatchedSlot> patched;

std::string Lower(const char *text)
{
    std::string s(text);
    for (char &c : s)
        c = (char)tolower((unsigned char)c);
    return s;
}

// Calls visit(dll, function name or "#ordinal", IAT slot) for every import; stops when it
// returns true.
template <typename Visit> void ForEachImport(HMODULE module, Visit visit)
{
    if (module == NULL)
        return;
    BYTE *base = (BYTE *)module;
    IMAGE_DOS_HEADER *dos = (IMAGE_DOS_HEADER *)base;
    IMAGE_NT_HEADERS32 *nt = (IMAGE_NT_HEADERS32 *)(base + dos->e_lfanew);
    IMAGE_DATA_DIRECTORY directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0)
        return;
    for (IMAGE_IMPORT_DESCRIPTOR *d = (IMAGE_IMPORT_DESCRIPTOR *)(base + directory.VirtualAddress);
         d->Name != 0; d++) {
        std::string dll = Lower((const char *)(base + d->Name));
        IMAGE_THUNK_DATA32 *names =
            (IMAGE_THUNK_DATA32 *)(base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
        void **slots = (void **)(base + d->FirstThunk);
        for (size_t i = 0; names[i].u1.AddressOfData != 0; i++) {
            std::string function;
            if (IMAGE_SNAP_BY_ORDINAL32(names[i].u1.Ordinal)) {
                function = "#" + std::to_string(IMAGE_ORDINAL32(names[i].u1.Ordinal));
            } else {
                IMAGE_IMPORT_BY_NAME *byName = (IMAGE_IMPORT_BY_NAME *)(base + names[i].u1.AddressOfData);
                function = (const char *)byName->Name;
            }
            if (visit(dll, function, &slots[i]))
                return;
        }
    }
}

// The functions hooked where the plug-in looks them up by name (GetProcAddress).
struct RuntimeHook {
    HMODULE module;
    std::string function;
    void *replacement;
};
std::vector<RuntimeHook> runtimeHooks;
FARPROC(WINAPI *realGetProcAddress)(HMODULE, LPCSTR);

FARPROC WINAPI HookedGetProcAddress(HMODULE module, LPCSTR name)
{
    if (HIWORD((ULONG_PTR)name) != 0) {  // a name, not an ordinal
        for (const RuntimeHook &hook : runtimeHooks)
            if (hook.module == module && hook.function == name)
                return (FARPROC)hook.replacement;
    }
    return realGetProcAddress(module, name);
}

bool WriteSlot(void **slot, void *value)
{
    DWORD old;
    if (!VirtualProtect(slot, sizeof(void *), PAGE_READWRITE, &old))
        return false;
    *slot = value;
    VirtualProtect(slot, sizeof(void *), old, &old);
    return true;
}

}  // namespace

namespace detail {
void *PatchImport(const char *dll, const char *function, void *replacement)
{
    std::string wantedDll = Lower(dll), wantedFunction = Lower(function);
    void *before = nullptr;
    ForEachImport(PluginModule(), [&](const std::string &d, const std::string &f, void **slot) {
        if (d != wantedDll || Lower(f.c_str()) != wantedFunction)
            return false;
        before = *slot;
        WriteSlot(slot, replacement);
        return true;
    });
    return before;
}
}  // namespace detail

void *HookImport(const char *dll, const char *function, void *replacement);

namespace {

// HookImport for a function the plug-in looks up at run time.
void *HookRuntimeFunction(const char *dll, const char *function, void *replacement)
{
    HMODULE module = GetModuleHandleA(dll);
    void *real = module != NULL ? (void *)GetProcAddress(module, function) : nullptr;
    if (real == nullptr)
        return nullptr;
    if (runtimeHooks.empty()) {
        void *lookup = HookImport("kernel32.dll", "GetProcAddress", (void *)HookedGetProcAddress);
        if (lookup == nullptr)
            return nullptr;
        realGetProcAddress = (FARPROC(WINAPI *)(HMODULE, LPCSTR))lookup;
    }
    for (RuntimeHook &hook : runtimeHooks) {
        if (hook.module == module && hook.function == function) {
            hook.replacement = replacement;
            return real;
        }
    }
    runtimeHooks.push_back(RuntimeHook{module, function, replacement});
    return real;
}

}  // namespace

void *HookImport(const char *dll, const char *function, void *replacement)
{
    std::string wantedDll = Lower(dll);
    std::string wantedFunction = Lower(function);
    void *original = nullptr;
    bool imported = false;
    ForEachImport(PluginModule(), [&](const std::string &d, const std::string &f, void **slot) {
        if (d != wantedDll || Lower(f.c_str()) != wantedFunction)
            return false;
        // Hooking twice keeps the first original, the real function.
        original = *slot;
        for (const PatchedSlot &p : patched)
            if (p.slot == slot)
                original = p.original;
        bool known = false;
        for (const PatchedSlot &p : patched)
            known = known || p.slot == slot;
        if (!known)
            patched.push_back(PatchedSlot{slot, *slot, d, f});
        WriteSlot(slot, replacement);
        imported = true;
        return true;
    });
    return imported ? original : HookRuntimeFunction(dll, function, replacement);
}

void UnhookImport(const char *dll, const char *function)
{
    std::string wantedDll = Lower(dll), wantedFunction = Lower(function);
    HMODULE module = GetModuleHandleA(dll);
    for (size_t i = 0; i < runtimeHooks.size();) {
        if (runtimeHooks[i].module == module && runtimeHooks[i].function == function)
            runtimeHooks.erase(runtimeHooks.begin() + (long)i);
        else
            i++;
    }
    for (size_t i = 0; i < patched.size();) {
        if (patched[i].dll == wantedDll && Lower(patched[i].function.c_str()) == wantedFunction) {
            WriteSlot(patched[i].slot, patched[i].original);
            patched.erase(patched.begin() + (long)i);
        } else {
            i++;
        }
    }
}

void UnhookAllImports()
{
    runtimeHooks.clear();
    for (const PatchedSlot &p : patched)
        WriteSlot(p.slot, p.original);
    patched.clear();
}

std::vector<std::string> ListImports()
{
    std::vector<std::string> names;
    ForEachImport(PluginModule(), [&](const std::string &d, const std::string &f, void **) {
        names.push_back(d + "!" + f);
        return false;
    });
    return names;
}

}  // namespace fmhost
