#pragma once
// The IRP traffic of one filtered device object: a deterministic stream of
// capture records for the major functions its filter selects.
//
// The k-th record of a stream depends only on the seed, the device object,
// the processor speed and the masks it was given before; it does not depend
// on other devices or on timing. Timestamps follow a virtual clock of the
// device (arrival gaps and log-normal latencies in ticks at the given speed).

#include <array>
#include <cstdint>

#include "driver/sim_devices.h"
#include "driver/traffic_tables.h"
#include "record/capture_record.h"

namespace vantrel {

// A small fast generator (splitmix64): good enough for traffic, and the
// same sequence on every platform.
class CSimRandom {
public:
    explicit CSimRandom(uint64_t seed) : m_state(seed) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n); n > 0.
    uint32_t Below(uint32_t n) {
        return static_cast<uint32_t>(((Next() >> 32) * static_cast<uint64_t>(n)) >> 32);
    }
    // Uniform in (0, 1).
    double Unit() { return (static_cast<double>(Next() >> 11) + 0.5) * (1.0 / 9007199254740992.0); }
    // Standard normal.
    double Normal();

private:
    uint64_t m_state;
    bool m_haveSpare = false;
    double m_spare = 0;
};

class CIrpStream {
public:
    CIrpStream(const SimDevice& device, uint64_t seed, uint32_t processorSpeed);

    // Selects the major functions that may appear: bit i for major function i.
    void SetMask(uint32_t mask);
    uint32_t Mask() const { return m_mask; }
    // True when the mask selects a major function this device receives.
    bool CanProduce() const { return m_selectedTotal > 0; }
    // Records per second this device produces under its mask (for sharing
    // a total rate between devices).
    double Activity() const { return m_activity; }
    uint32_t DeviceObject() const { return m_device.deviceObject; }

    // Writes the next record's 496 wire bytes. Only when CanProduce().
    // Devices without device controls of their own never get IRP_MJ_DEVICE_CONTROL.
    void Next(uint8_t* out);
    IRP_CAPTURE_RECORD NextRecord();

private:
    struct Outcome {
        uint32_t minor = 0;
        uint32_t status = 0;
        double latencyUs = 10;
    };
    uint32_t PickMajor();
    uint32_t PickStatus(uint32_t major, uint32_t minor);
    double Latency(double medianUs, double sigma);
    double Latency(traffic::LatencySpec spec);
    uint32_t KernelPointer();
    uint32_t PagedPointer();
    uint32_t UserPointer();

    void Create(uint8_t* p, Outcome& o);
    void ReadWrite(uint32_t major, uint8_t* p, Outcome& o);
    void QueryInformation(uint8_t* p, Outcome& o);
    void SetInformation(uint8_t* p, Outcome& o);
    void QueryVolume(uint8_t* p, Outcome& o);
    void DeviceControl(uint8_t* rec, Outcome& o);
    uint32_t NdisValue(uint32_t oid);
    void IoctlState(traffic::IoctlContent content, uint8_t* in, uint8_t* out, bool filled);
    void InternalControl(uint8_t* p, Outcome& o);
    void Power(uint8_t* p, Outcome& o);
    void Pnp(uint8_t* p, Outcome& o);
    void Wmi(uint8_t* p, Outcome& o);
    void Capabilities(uint8_t* p);

    SimDevice m_device;
    CSimRandom m_rng;
    uint32_t m_speed;
    uint32_t m_mask = 0;
    std::array<uint32_t, 28> m_weights{};     // the device's traffic per major function
    std::array<uint32_t, 28> m_cumulative{};  // running sum over the selected ones
    uint32_t m_selectedTotal = 0;
    uint32_t m_allTotal = 0;
    double m_activity = 0;
    double m_meanGapUs = 1000;
    uint64_t m_clock;  // virtual timestamp of the last arrival
    // Device state that successive records agree on.
    uint32_t m_powerSequence[3];
    uint32_t m_devicePower = 1;  // D0
    uint32_t m_systemContext;
    uint32_t m_baudRate = 9600;
    uint32_t m_packetsSent;
    uint32_t m_packetsReceived;
    uint64_t m_position = 0;  // next sequential byte offset
};

}  // namespace vantrel
