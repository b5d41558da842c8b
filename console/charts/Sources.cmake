# The charts of the console and of hvnReport: the fiscal-year charts beside the two fiscal-year
# grids, the section tab's rate chart, their image files, and the pane that places a grid and
# its chart.
target_sources(console PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ChartView.h
  ${CMAKE_CURRENT_LIST_DIR}/ChartView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FiscalYearChart.h
  ${CMAKE_CURRENT_LIST_DIR}/FiscalYearChart.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SectionRateChart.h
  ${CMAKE_CURRENT_LIST_DIR}/SectionRateChart.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GridChartPane.h
  ${CMAKE_CURRENT_LIST_DIR}/GridChartPane.cpp
)
