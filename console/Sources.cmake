# The console's windows, the lock bracket and the executable.
target_sources(console PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/report/FiscalReportSnapshot.h
  ${CMAKE_CURRENT_LIST_DIR}/report/QuickRep.h
  ${CMAKE_CURRENT_LIST_DIR}/report/QuickRep.cpp
  ${CMAKE_CURRENT_LIST_DIR}/report/ReportDocument.h
  ${CMAKE_CURRENT_LIST_DIR}/report/ReportDocument.cpp
  ${CMAKE_CURRENT_LIST_DIR}/report/ReportPainter.h
  ${CMAKE_CURRENT_LIST_DIR}/report/ReportPainter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/report/SaveFile.h
  ${CMAKE_CURRENT_LIST_DIR}/report/SaveFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/report/TextReport.h
  ${CMAKE_CURRENT_LIST_DIR}/report/TextReport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/ConsoleApp.h
  ${CMAKE_CURRENT_LIST_DIR}/app/ConsoleApp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/ProgramIcon.h
  ${CMAKE_CURRENT_LIST_DIR}/app/ProgramIcon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/ErrorDisplay.h
  ${CMAKE_CURRENT_LIST_DIR}/app/ErrorDisplay.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/MessageBoxes.h
  ${CMAKE_CURRENT_LIST_DIR}/app/MessageBoxes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lock/DatabaseLock.h
  ${CMAKE_CURRENT_LIST_DIR}/lock/DatabaseLock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lock/WaitCursor.h
  ${CMAKE_CURRENT_LIST_DIR}/lock/LockChannel.h
  ${CMAKE_CURRENT_LIST_DIR}/lock/LockChannel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lock/BusyBracket.h
  ${CMAKE_CURRENT_LIST_DIR}/lock/BusyBracket.cpp
  ${CMAKE_CURRENT_LIST_DIR}/period/ReportingPeriod.h
  ${CMAKE_CURRENT_LIST_DIR}/period/ReportingPeriod.cpp
  ${CMAKE_CURRENT_LIST_DIR}/widgets/UpDown.h
  ${CMAKE_CURRENT_LIST_DIR}/widgets/UpDown.cpp
  ${CMAKE_CURRENT_LIST_DIR}/widgets/DataGrid.h
  ${CMAKE_CURRENT_LIST_DIR}/widgets/DataGrid.cpp
  ${CMAKE_CURRENT_LIST_DIR}/widgets/ColumnHeader.h
  ${CMAKE_CURRENT_LIST_DIR}/widgets/ColumnHeader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/widgets/GridCellDelegate.h
  ${CMAKE_CURRENT_LIST_DIR}/widgets/GridCellDelegate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/widgets/RowIndicator.h
  ${CMAKE_CURRENT_LIST_DIR}/widgets/RowIndicator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/widgets/StringGrid.h
  ${CMAKE_CURRENT_LIST_DIR}/widgets/StringGrid.cpp
  ${CMAKE_CURRENT_LIST_DIR}/widgets/FiscalGridDelegate.h
  ${CMAKE_CURRENT_LIST_DIR}/widgets/FiscalGridDelegate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainform/Mainform.h
  ${CMAKE_CURRENT_LIST_DIR}/mainform/Mainform.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainform/MainformSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainform/WindowPlacement.h
  ${CMAKE_CURRENT_LIST_DIR}/mainform/MainformMenu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainform/MainformTabs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainform/MainformLock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainform/MainformPeriod.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainform/MainformStatistics.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainform/RecordLoad.h
  ${CMAKE_CURRENT_LIST_DIR}/mainform/RecordLoad.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainform/MainformSection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainform/MainformFiscalYear.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainform/MainformReport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainform/FiscalYearTab.h
  ${CMAKE_CURRENT_LIST_DIR}/mainform/FiscalYearTab.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainform/MainformSectionCalc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainform/MainformPrinterCalc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/DialogFrame.h
  ${CMAKE_CURRENT_LIST_DIR}/windows/DialogFrame.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/Aboutbox.h
  ${CMAKE_CURRENT_LIST_DIR}/windows/Aboutbox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/HelpWindow.h
  ${CMAKE_CURRENT_LIST_DIR}/windows/HelpWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/Qreport.h
  ${CMAKE_CURRENT_LIST_DIR}/windows/Qreport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/DialogControls.h
  ${CMAKE_CURRENT_LIST_DIR}/windows/DialogControls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/WindowCentring.h
  ${CMAKE_CURRENT_LIST_DIR}/windows/WindowCentring.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/ReportPreview.h
  ${CMAKE_CURRENT_LIST_DIR}/windows/ReportPreview.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/SectionTree.h
  ${CMAKE_CURRENT_LIST_DIR}/windows/SectionTree.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/Frmdatadelete.h
  ${CMAKE_CURRENT_LIST_DIR}/windows/Frmdatadelete.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/Frmprinterset.h
  ${CMAKE_CURRENT_LIST_DIR}/windows/Frmprinterset.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/Okbottomdlg.h
  ${CMAKE_CURRENT_LIST_DIR}/windows/Okbottomdlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/Dlgsection.h
  ${CMAKE_CURRENT_LIST_DIR}/windows/Dlgsection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/Dlgsectionmember.h
  ${CMAKE_CURRENT_LIST_DIR}/windows/Dlgsectionmember.cpp
)

# The HTML help ships inside the program, under :/help.
qt_add_resources(console console_help
  PREFIX /help
  BASE ${CMAKE_CURRENT_LIST_DIR}/help
  FILES
    ${CMAKE_CURRENT_LIST_DIR}/help/index.html
    ${CMAKE_CURRENT_LIST_DIR}/help/howtouse.html
)

# The program icon at each size it is drawn for, under :/icons (scripts/render-icons makes the
# PNGs from the SVG drawings beside them).
set(HALVANE_ICON_SIZES 16 24 32 48 256)
set(icon_files)
foreach(size IN LISTS HALVANE_ICON_SIZES)
  list(APPEND icon_files ${CMAKE_CURRENT_LIST_DIR}/resources/icons/halvane-${size}.png)
endforeach()
qt_add_resources(console console_icons
  PREFIX /icons
  BASE ${CMAKE_CURRENT_LIST_DIR}/resources/icons
  FILES ${icon_files}
)

add_executable(hvnConsole ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(hvnConsole PRIVATE console)

# Desktop integration: the launcher entry and the program icon in the hicolor theme.
include(GNUInstallDirs)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/install/hvnConsole.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT desktop)
foreach(size IN LISTS HALVANE_ICON_SIZES)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/resources/icons/halvane-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME halvane.png
          COMPONENT desktop)
endforeach()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/resources/icons/halvane.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT desktop)
