ranvista_test_area(transform LIBS transform)
