// Until the I/O manager exists: a seam with no devices.
#include "io_seam.h"

namespace qk {
namespace {
class EmptySeam final : public IoSeam {
public:
    OpenResult open(const std::string&, std::uint32_t, std::uint32_t) override { return {static_cast<NTSTATUS>(0xC0000034), 0}; }
    ControlResult deviceControl(FileId, std::uint32_t, const std::vector<std::uint8_t>&, std::uint32_t) override {
        return {static_cast<NTSTATUS>(0xC0000008), {}};
    }
    void close(FileId) override {}
    std::vector<std::string> interfaces(const Guid&) override { return {}; }
};
EmptySeam emptySeam;
IoSeam* installed = nullptr;
}  // namespace

IoSeam& ioSeam() { return installed ? *installed : emptySeam; }
void installIoSeam(IoSeam* seam) { installed = seam; }
}  // namespace qk
