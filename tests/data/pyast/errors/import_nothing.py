import
