# The printf-style functions carry the compiler's format attribute, so that a
# wrong argument type breaks the build. Each check compiles format_check.cpp
# (syntax only) with the project's warning flags: case 0 must compile, every
# other case must fail with a format error.
set(format_check_flags -std=c++17 -Wall -Wextra -Werror -fsyntax-only
    -I${PROJECT_SOURCE_DIR}/platform -I${PROJECT_SOURCE_DIR}/include/priamutil)
get_target_property(format_check_boost Boost::headers INTERFACE_INCLUDE_DIRECTORIES)
foreach(dir IN LISTS format_check_boost)
  if(dir AND NOT dir IN_LIST CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES)
    list(APPEND format_check_flags -isystem ${dir})
  endif()
endforeach()

set(format_check_source ${CMAKE_CURRENT_SOURCE_DIR}/format_check.cpp)
add_test(NAME FormatAttribute.CorrectArgumentsCompile
         COMMAND ${CMAKE_CXX_COMPILER} ${format_check_flags} -DFORMAT_CASE=0 ${format_check_source})
foreach(case RANGE 1 7)
  add_test(NAME FormatAttribute.WrongArgumentFailsCase${case}
           COMMAND ${CMAKE_CXX_COMPILER} ${format_check_flags} -DFORMAT_CASE=${case}
                   ${format_check_source})
  # Only a format error counts: a failure for another reason (a missing
  # header, say) must not pass for one.
  set_tests_properties(FormatAttribute.WrongArgumentFailsCase${case} PROPERTIES
                       PASS_REGULAR_EXPRESSION "-Werror=format")
endforeach()
