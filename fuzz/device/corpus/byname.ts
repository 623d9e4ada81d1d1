FileName = "wood.bmp"; InitFlags = "SAVE_NAME"; Filter = "D3DX_FILTER_POINT"; MipFilter = "D3DX_FILTER_NONE"; Levels = 0;
