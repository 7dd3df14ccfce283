#pragma once

#include "CdReader.h"

#include <QSemaphore>
#include <atomic>
#include <memory>

// Test double for timing only: a real reader whose ReadSectors call number gate->at (from
// 0) waits until the test opens the gate, so that a test can act "in the middle of an
// extraction" deterministically while the batch runs on its worker thread. Everything else
// goes straight to the real reader. The gate is shared, so that the test keeps it after the
// window has released the reader.
class GatedCdReader : public CdReader
{
public:
    struct Gate
    {
        std::atomic<int> at{-1};
        std::atomic<int> reads{0};
        std::atomic<bool> waiting{false}; // the gated read has been reached and waits
        QSemaphore semaphore;

        // Lets the gated read go on (and every later one).
        void open()
        {
            at = -1;
            semaphore.release(1000);
        }
    };

    GatedCdReader(std::unique_ptr<CdReader> real, std::shared_ptr<Gate> gate)
        : m_real(std::move(real)), m_gate(std::move(gate))
    {
    }

    std::int32_t ScanDrives() override { return m_real->ScanDrives(); }
    std::int32_t GetDriveCount() override { return m_real->GetDriveCount(); }
    DriveAddress GetDriveAddress(std::int32_t i) override { return m_real->GetDriveAddress(i); }
    DriveInfo GetDriveInfo(std::int32_t i) override { return m_real->GetDriveInfo(i); }
    std::int32_t OpenDrive(const DriveAddress &a) override { return m_real->OpenDrive(a); }
    bool CloseDrive(std::int32_t h) override { return m_real->CloseDrive(h); }
    std::int32_t ReadToc(std::int32_t h) override { return m_real->ReadToc(h); }
    std::int32_t GetFirstTrack() override { return m_real->GetFirstTrack(); }
    std::int32_t GetLastTrack() override { return m_real->GetLastTrack(); }
    TocTime GetTocEntry(std::int32_t e) override { return m_real->GetTocEntry(e); }
    bool SetDriveParam(std::int32_t h, std::int32_t p, std::int32_t v) override
    {
        return m_real->SetDriveParam(h, p, v);
    }
    QString discSource(std::int32_t h) const override { return m_real->discSource(h); }
    bool isImage(std::int32_t i) const override { return m_real->isImage(i); }
    std::int32_t mediaChanged(std::int32_t i) override { return m_real->mediaChanged(i); }
    bool ejectMedia(std::int32_t i) override { return m_real->ejectMedia(i); }
    void OpenWaveFile(const QString &path) override { m_real->OpenWaveFile(path); }
    bool CloseWaveFile() override { return m_real->CloseWaveFile(); }
    std::int32_t ReadSectors(std::int32_t h, std::int32_t first, std::int32_t count) override
    {
        if (m_gate->reads++ == m_gate->at.load()) {
            m_gate->waiting = true;
            m_gate->semaphore.acquire();
            m_gate->waiting = false;
        }
        return m_real->ReadSectors(h, first, count);
    }

private:
    std::unique_ptr<CdReader> m_real;
    std::shared_ptr<Gate> m_gate;
};
