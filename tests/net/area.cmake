ranvista_test_area(net LIBS net imagedb Qt6::Core Qt6::Network)
