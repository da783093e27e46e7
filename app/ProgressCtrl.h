// CProgressCtrl: a progress bar's range and position, and the bar that shows
// them.
//
// The file bar takes a 32-bit range (SetRange32), the overall bar a 16-bit one
// (SetRange, 0 to 65535).  A position outside the range is clamped to it, as
// the bar control does.  Changing range or position marks the bar for
// repainting only when the filled part moves by at least one pixel, so a job
// that reports progress thousands of times per file costs a repaint only when
// the user can see a change; UpdateWindow paints what is marked, at once.
#pragma once

#include <cstdint>

class CProgressBar;

class CProgressCtrl {
public:
    // Any 32-bit range, signed or unsigned (a file's size in bytes).
    void SetRange32(std::int64_t lower, std::int64_t upper);
    void SetRange(std::uint16_t lower, std::uint16_t upper);
    void GetRange(std::int64_t& lower, std::int64_t& upper) const;

    // Sets the position, clamped to the range; returns the previous position.
    std::int64_t SetPos(std::int64_t pos);
    std::int64_t GetPos() const { return m_nPos; }

    // Share of the range reached, 0 to 1 (0 for an empty range).
    double Fraction() const;

    // The bar widget that shows this control (null: none).
    void Attach(CProgressBar* bar);
    CProgressBar* Bar() const { return m_pBar; }

    // Repaints the bar at once when it is marked for repainting.
    void UpdateWindow();

private:
    void Show();

    std::int64_t m_nLower = 0;
    std::int64_t m_nUpper = 100;
    std::int64_t m_nPos = 0;
    CProgressBar* m_pBar = nullptr;
};

// Pixels of a bar `width` pixels wide that are filled at `fraction`.
int FilledPixels(double fraction, int width);
