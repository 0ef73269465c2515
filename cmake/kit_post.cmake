# Run by CPack once it has written an archive: the archive is written again
# from the same staged files by cmake/kit_archive.py, because CPack's own
# archives list their entries in the order the file system gives and keep
# each file's time and owner.
list(LENGTH CPACK_COMPONENTS_ALL count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "The kit's archive ${CPACK_PACKAGE_FILES} should hold one component, not ${CPACK_COMPONENTS_ALL}")
endif()
execute_process(
  COMMAND python3 ${CPACK_KIT_SOURCE_DIR}/cmake/kit_archive.py --root ${CPACK_TEMPORARY_DIRECTORY}/${CPACK_COMPONENTS_ALL}
          --out ${CPACK_PACKAGE_FILES} --epoch ${CPACK_KIT_EPOCH}
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "Writing ${CPACK_PACKAGE_FILES} failed")
endif()
