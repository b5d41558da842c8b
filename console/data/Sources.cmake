# Data access of the console's windows: connection, queries, grid models, statistics queries,
# the section roll-up and the fiscal-year tables (widget-free, shared with the report tool).
target_sources(console PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DbConnection.h
  ${CMAKE_CURRENT_LIST_DIR}/DbConnection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DbDateTimeVariant.h
  ${CMAKE_CURRENT_LIST_DIR}/CompactRows.h
  ${CMAKE_CURRENT_LIST_DIR}/CompactRows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Query.h
  ${CMAKE_CURRENT_LIST_DIR}/Query.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReadSnapshot.h
  ${CMAKE_CURRENT_LIST_DIR}/ReadSnapshot.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GridColumn.h
  ${CMAKE_CURRENT_LIST_DIR}/FieldText.h
  ${CMAKE_CURRENT_LIST_DIR}/FieldText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DbGridModel.h
  ${CMAKE_CURRENT_LIST_DIR}/DbGridModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StatisticsQueries.h
  ${CMAKE_CURRENT_LIST_DIR}/StatisticsQueries.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SectionRollUp.h
  ${CMAKE_CURRENT_LIST_DIR}/SectionRollUp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FiscalYearCalc.h
  ${CMAKE_CURRENT_LIST_DIR}/FiscalYearCalc.cpp
)
