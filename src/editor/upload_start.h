#pragma once
// "Загрузить ↑": checks the link and the size limit, then starts the upload.
void uploadImage();
