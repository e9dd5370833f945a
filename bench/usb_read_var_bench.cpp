// FIP_READ_VAR on a USB board through the whole USB path: the engine, the board object's request
// and reply wait, its reader thread and framing, the transport, and the simulated firmware over
// the card model. Once over the bulk USB transport and the USB device driver, once over the FTDI
// transport and the D2XX library.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "corvix.h"
#include "machine_bench.h"
#include "read_var_loop.h"
#include "sim/machine/machine.h"
#include "usb/transport_factory.h"
#include "usb/usb_ftd2xx_com.h"

namespace {

constexpr std::uint32_t kUsb = 2;

void usbReadVar(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    sim::MachineDescription description;
    description.boards = {sim::UsbBoardConfig{}};
    sim::Machine& machine = sim::bootMachine(description);
    if (START_FIP_ENGINE(1, kUsb) != 0) {
        state.SkipWithError("the engine does not start on the USB board");
        return;
    }
    machine.usbBoard(0).card().setVariableValue(0, std::vector<std::uint8_t>(size, 0x5A));
    bench::readVarLoop(state, size);
    STOP_FIP_ENGINE();
    sim::shutdownMachine();
}

// The same with every USB board object on the FTDI transport.
void usbReadVarFtdi(benchmark::State& state) {
    const usb_transport::Maker previous = usb_transport::install(
        usb_transport::KIND_BULK_USB, [] { return boost::shared_ptr<CAbstractCom>(new CUsbFtd2xxCom); });
    usbReadVar(state);
    usb_transport::install(usb_transport::KIND_BULK_USB, previous);
}

BENCHMARK(usbReadVar)->Arg(128)->Repetitions(5)->ComputeStatistics("median", bench::median)->UseRealTime();
BENCHMARK(usbReadVarFtdi)->Arg(128)->Repetitions(5)->ComputeStatistics("median", bench::median)->UseRealTime();

}  // namespace
