# Data access of the console's windows: connection, queries, grid models, statistics queries.
target_sources(console PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DbConnection.h
  ${CMAKE_CURRENT_LIST_DIR}/DbConnection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DbDateTimeVariant.h
  ${CMAKE_CURRENT_LIST_DIR}/Query.h
  ${CMAKE_CURRENT_LIST_DIR}/Query.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GridColumn.h
  ${CMAKE_CURRENT_LIST_DIR}/FieldText.h
  ${CMAKE_CURRENT_LIST_DIR}/FieldText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DbGridModel.h
  ${CMAKE_CURRENT_LIST_DIR}/DbGridModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StatisticsQueries.h
  ${CMAKE_CURRENT_LIST_DIR}/StatisticsQueries.cpp
)
