// Registry files made up for the benchmarks: REGEDIT4 text of a given number
// of keys and values, with the shape and mix of a real Windows 98 registry.
//
// Every key is written as its own [key] line, each key's subkeys in
// case-insensitive alphabetical order (as regedit exports and a machine saves
// them). The values mix plain strings (some with \\ and \" escapes, some
// empty), dwords, short and long binary (continued over lines), expandable
// and multi-strings written as hex(2): and hex(7):, strings with bytes after
// their terminator as hex(1):, and default values (@=). One key is very wide
// (a class id list of thousands of subkeys) and one holds a great many values
// (a shared-library count list). The same shape and seed give the same file.
#ifndef RQ47_BENCH_REGISTRY_GENERATOR_H
#define RQ47_BENCH_REGISTRY_GENERATOR_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace rq47bench {

struct RegistryShape {
  size_t keys = 0;    // keys below the roots (the roots are not counted)
  size_t values = 0;  // values of all keys together, default values included
  uint64_t seed = 1;
};

// The file, exactly shape.keys keys and shape.values values.
std::string GenerateRegistry(const RegistryShape& shape);

// A shape whose file is about `bytes` long, with five values a key as in the
// 200,000 keys and 1,000,000 values of the reference registry.
RegistryShape ShapeForBytes(size_t bytes);

}  // namespace rq47bench

#endif  // RQ47_BENCH_REGISTRY_GENERATOR_H
