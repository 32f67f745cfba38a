.PHONY: demo test build clean screenshot
demo:
	GUI=$(GUI) scripts/demo.sh
test:
	scripts/test.sh
build:
	scripts/setup.sh build
clean:
	rm -rf build
screenshot:
	scripts/screenshot.sh
