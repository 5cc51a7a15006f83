#pragma once
// The program's resources: named blocks of bytes of a type ("PNG", ...),
// looked up as the executable's own resources would be. The program registers
// the images it ships at start-up; tools and tests register bytes of their
// own. Names and types match without regard to case.
#include <memory>
#include <string>

#include "platform/core/Exceptions.h"
#include "platform/core/Streams.h"
#include "platform/core/Types.h"

namespace px {

PX_DECLARE_EXCEPTION(EResNotFound, Exception);

// Registers (or replaces) a resource. Callable from any thread.
void RegisterResource(const std::string& name, const std::string& type, TBytes bytes);
void UnregisterResource(const std::string& name, const std::string& type);
// The bytes of a resource, nullptr when there is none. The bytes stay valid
// while the pointer is held, even if the resource is replaced meanwhile.
std::shared_ptr<const TBytes> FindResource(const std::string& name, const std::string& type);

// A read-only copy of a resource's bytes. Raises EResNotFound
// "Resource NAME not found" when the resource does not exist.
class TResourceStream : public TMemoryStream {
 public:
  TResourceStream(const std::string& name, const std::string& type);
  Int64 Write(const void* buffer, Int64 count) override;
};

}  // namespace px
