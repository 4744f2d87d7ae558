// Owner of one platform resource (a registry key, a kernel handle): the
// resource is closed when the owner goes, on every path out of a step, or
// earlier by reset() where the order of closing matters.
//
// Traits name the resource's type, tell whether a value holds one, and close it.
#ifndef RQ47_COMMON_UNIQUE_RESOURCE_H
#define RQ47_COMMON_UNIQUE_RESOURCE_H

template <typename Traits>
class UniqueResource {
 public:
  using Type = typename Traits::Type;

  UniqueResource() = default;
  explicit UniqueResource(Type value) : value_(value) {}
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  ~UniqueResource() { reset(); }

  Type get() const { return value_; }
  bool valid() const { return Traits::IsHeld(value_); }
  explicit operator bool() const { return valid(); }
  // For the out-parameter of the call that opens the resource; closes what was held.
  Type* put() {
    reset();
    return &value_;
  }
  Type release() {
    Type value = value_;
    value_ = nullptr;
    return value;
  }
  void reset(Type value = nullptr) {
    if (valid()) Traits::Close(value_);
    value_ = value;
  }

 private:
  Type value_ = nullptr;
};

#endif  // RQ47_COMMON_UNIQUE_RESOURCE_H
