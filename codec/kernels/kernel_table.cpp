// Fills the kernel tables from the kernel list and chooses among them.
#include "codec/kernels/kernel_table.h"

#include <algorithm>
#include <array>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace sivo {
namespace detail {

std::atomic<const kernel_table*> active_kernels{nullptr};

}  // namespace detail
namespace {

// The widest variant this build can run on a processor that has every
// feature: none but the reference forms without lane kernels; plain x86-64
// only off ELF systems (Windows' x86-64 compilers do not keep the stack
// aligned for spilled AVX registers).
constexpr kernel_variant kWidestBuilt =
#if !defined(SIVO_KERNELS_LANES)
    kernel_variant::reference;
#elif defined(__ELF__)
    kernel_variant::lanes8;
#else
    kernel_variant::lanes2;
#endif

// The form of kernel name in a slot of its line.
#if defined(SIVO_KERNELS_LANES)
#define SIVO_FORM(name, slot) name##_##slot
#else
#define SIVO_FORM(name, slot) name
#endif

kernel_table table_of(kernel_variant variant) noexcept {
  kernel_table table{};
#define SIVO_FILL_ENTRY(name, two, four, four_vl, eight, kind) \
  switch (variant) {                                           \
    case kernel_variant::reference:                            \
      table.name = &sivo::name;                                \
      break;                                                   \
    case kernel_variant::lanes2:                               \
      table.name = &SIVO_FORM(name, two);                      \
      break;                                                   \
    case kernel_variant::lanes4:                               \
      table.name = &SIVO_FORM(name, four);                     \
      break;                                                   \
    case kernel_variant::lanes4vl:                             \
      table.name = &SIVO_FORM(name, four_vl);                  \
      break;                                                   \
    case kernel_variant::lanes8:                               \
      table.name = &SIVO_FORM(name, eight);                    \
      break;                                                   \
  }
  SIVO_KERNEL_LIST(SIVO_FILL_ENTRY)
#undef SIVO_FILL_ENTRY
  return table;
}

struct runnable_list {
  std::array<kernel_variant, kKernelVariants> variants{};
  int count = 0;
};

runnable_list find_runnable() noexcept {
  const processor_traits p = this_processor();
  runnable_list list;
  list.variants[list.count++] = kernel_variant::reference;
  if (kWidestBuilt >= kernel_variant::lanes2) list.variants[list.count++] = kernel_variant::lanes2;
  if (kWidestBuilt >= kernel_variant::lanes4 && p.avx2) {
    list.variants[list.count++] = kernel_variant::lanes4;
  }
  if (kWidestBuilt >= kernel_variant::lanes4vl && p.avx512f && p.avx512vl) {
    list.variants[list.count++] = kernel_variant::lanes4vl;
  }
  if (kWidestBuilt >= kernel_variant::lanes8 && p.avx512f) {
    list.variants[list.count++] = kernel_variant::lanes8;
  }
  return list;
}

const runnable_list& runnable() noexcept {
  static const runnable_list list = find_runnable();
  return list;
}

// The variant pin_kernel_variant asked for, or -1 for the rule's choice.
std::atomic<int> pinned{-1};

}  // namespace

processor_traits this_processor() noexcept {
  processor_traits p;
#if defined(__x86_64__)
  __builtin_cpu_init();
  p.vendor = __builtin_cpu_is("intel") ? cpu_vendor::intel
             : __builtin_cpu_is("amd") ? cpu_vendor::amd
                                       : cpu_vendor::other;
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0) {
    const unsigned base_family = (eax >> 8) & 0xf;
    p.family =
        static_cast<int>(base_family == 0xf ? base_family + ((eax >> 20) & 0xff) : base_family);
    p.model = static_cast<int>((eax >> 4) & 0xf);
    if (base_family == 0x6 || base_family == 0xf) p.model |= static_cast<int>((eax >> 12) & 0xf0);
  }
  p.avx2 = __builtin_cpu_supports("avx2") != 0;
  p.avx512f = __builtin_cpu_supports("avx512f") != 0;
  p.avx512vl = __builtin_cpu_supports("avx512vl") != 0;
#endif
  return p;
}

kernel_variant choose_kernel_variant(const processor_traits& p, kernel_kind kind) noexcept {
  if (!p.avx2) return kernel_variant::lanes2;
  if (!p.avx512f || !p.avx512vl) return kernel_variant::lanes4;
  switch (kind) {
    case kernel_kind::wide:
      return kernel_variant::lanes8;
    case kernel_kind::four:
      return kernel_variant::lanes4vl;
    case kernel_kind::paced:
      break;
  }
  return p.vendor == cpu_vendor::amd ? kernel_variant::lanes8 : kernel_variant::lanes4vl;
}

kernel_table chosen_kernel_table(const processor_traits& p) noexcept {
  kernel_table table{};
#define SIVO_CHOOSE_ENTRY(name, two, four, four_vl, eight, kind) \
  table.name =                                                   \
      kernel_table_for(std::min(kWidestBuilt, choose_kernel_variant(p, kernel_kind::kind))).name;
  SIVO_KERNEL_LIST(SIVO_CHOOSE_ENTRY)
#undef SIVO_CHOOSE_ENTRY
  return table;
}

std::span<const kernel_variant> runnable_kernel_variants() noexcept {
  const runnable_list& list = runnable();
  return {list.variants.data(), static_cast<size_t>(list.count)};
}

const kernel_table& kernel_table_for(kernel_variant variant) noexcept {
  static const std::array<kernel_table, kKernelVariants> tables = {
      table_of(kernel_variant::reference), table_of(kernel_variant::lanes2),
      table_of(kernel_variant::lanes4), table_of(kernel_variant::lanes4vl),
      table_of(kernel_variant::lanes8)};
  return tables[static_cast<int>(variant)];
}

const char* kernel_variant_name(kernel_variant variant) noexcept {
  static const char* const names[kKernelVariants] = {"reference", "lanes2", "lanes4", "lanes4vl",
                                                     "lanes8"};
  return names[static_cast<int>(variant)];
}

bool pin_kernel_variant(kernel_variant variant) noexcept {
  if (detail::active_kernels.load() != nullptr) return false;
  for (kernel_variant v : runnable_kernel_variants()) {
    if (v == variant) {
      pinned.store(static_cast<int>(variant));
      return true;
    }
  }
  return false;
}

const kernel_table& choose_kernels() noexcept {
  static const kernel_table* const chosen = [] {
    static const kernel_table by_rule = chosen_kernel_table(this_processor());
    const int pin = pinned.load();
    const kernel_table* table =
        pin >= 0 ? &kernel_table_for(static_cast<kernel_variant>(pin)) : &by_rule;
    // A table set by use_kernel_table in the meantime stays.
    const kernel_table* none = nullptr;
    detail::active_kernels.compare_exchange_strong(none, table);
    return table;
  }();
  static_cast<void>(chosen);
  return *detail::active_kernels.load(std::memory_order_acquire);
}

void use_kernel_table(const kernel_table& table) noexcept {
  detail::active_kernels.store(&table, std::memory_order_release);
}

}  // namespace sivo
