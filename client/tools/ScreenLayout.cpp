#include "tools/ScreenLayout.h"

namespace mavo {

CScreenLayout::CScreenLayout(const FullScreenArea& area, int screenWidth, int screenHeight)
    : m_area(area),
      m_width(screenWidth),
      m_height(screenHeight),
      m_useDefault(area.x < 0 && area.y < 0 && area.cx < 0 && area.cy < 0)
{
}

void CScreenLayout::SetUseDefault(bool on)
{
    m_useDefault = on;
    m_area = on ? FullScreenArea{-1, -1, -1, -1} : FullScreenArea{0, 0, m_width, m_height};
}

void CScreenLayout::Full() { m_area = FullScreenArea{0, 0, m_width, m_height}; }

void CScreenLayout::DoubleOne() { m_area = FullScreenArea{0, 0, m_width / 2, m_height}; }

void CScreenLayout::DoubleTwo()
{
    const int half = m_width / 2;
    m_area = FullScreenArea{half + 1, 0, half, m_height};
}

FullScreenArea CScreenLayout::Result() const
{
    return m_useDefault ? FullScreenArea{-1, -1, -1, -1} : m_area;
}

} // namespace mavo
