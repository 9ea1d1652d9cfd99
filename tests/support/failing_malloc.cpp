// A malloc that refuses every single request above a size, for testing the
// out-of-memory path of the built program: preload it with
//   LD_PRELOAD=<this library> LSZ_FAIL_ALLOCATIONS_ABOVE=<bytes>
// Requests up to that size go to the C library's allocator. Without the
// variable nothing is refused.
#include <cerrno>
#include <cstddef>
#include <cstdlib>

extern "C" {

void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);

}  // extern "C"

namespace {

std::size_t largestAllowed() {
  static const std::size_t largest = [] {
    const char* text = std::getenv("LSZ_FAIL_ALLOCATIONS_ABOVE");
    return text ? static_cast<std::size_t>(std::strtoull(text, nullptr, 10)) : static_cast<std::size_t>(-1);
  }();
  return largest;
}

bool refused(std::size_t size) {
  if (size <= largestAllowed()) return false;
  errno = ENOMEM;
  return true;
}

}  // namespace

extern "C" {

void* malloc(std::size_t size) { return refused(size) ? nullptr : __libc_malloc(size); }

void* calloc(std::size_t count, std::size_t size) {
  if (size != 0 && count > static_cast<std::size_t>(-1) / size) return __libc_calloc(count, size);
  return refused(count * size) ? nullptr : __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) {
  return refused(size) ? nullptr : __libc_realloc(pointer, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
  return refused(size) ? nullptr : __libc_memalign(alignment, size);
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size) {
  if (refused(size)) return ENOMEM;
  *result = __libc_memalign(alignment, size);
  return *result ? 0 : ENOMEM;
}

}  // extern "C"
